// A strict check that text is one JSON document (RFC 8259) in valid UTF-8; for tests and
// fuzz targets, which must not trust the writer they check.
#pragma once

#include <string>

// True when text is exactly one JSON value, with nothing but white space around it.
bool IsValidJson(const std::string& text);
