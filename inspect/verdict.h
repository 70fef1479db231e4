// The verdict on a volume, a piece of one, or a partition.
#pragma once

enum class Verdict { Aligned, Misaligned, Undetermined };
