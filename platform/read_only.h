// The read-only guard: what the door (sys.h) lets through to a backend. Every other call
// fails with ERROR_ACCESS_DENIED before any backend sees it, so the promise never to write
// to a disk does not rest on callers, nor on which machine answers.
#pragma once

#include "platform/win32types.h"

// True for: the SMART request carrying IDENTIFY DEVICE, SCSI pass-through carrying
// INQUIRY with data in, the two partition requests, the device-number request, the
// volume's disk extents, the property query, and the disk's table and size.
bool IsReadOnlyRequest(DWORD code, const void* in, DWORD inSize);

// What a run may open: the machine's scan its devices (and files), a run that checks disk
// files the files alone.
enum class OpenScope { DevicesAndFiles, FilesOnly };

// True for an open that can change nothing, of something that exists and is not deleted
// when closed: a device the program reads (\\.\X:, \\.\PhysicalDriveN, \\?\Volume{...}),
// outside a run of files only, or a file (a disk image) opened for reading alone, without
// backup semantics (which pass over its security), and shared so that a hypervisor that
// holds it may keep writing; or a file or folder opened with access 0 or
// FILE_READ_ATTRIBUTES to ask its identity, backup semantics allowed then alone (a folder
// opens only with them, and such a handle reads no data). Nothing else in the device spaces opens (\\.\ and //./;
// \\?\ but for a drive's, a volume's or a share's files; \??\), nor a name Windows maps to
// a device (CON, NUL, COM1, ...).
bool IsReadOnlyOpen(LPCSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                    OpenScope scope = OpenScope::DevicesAndFiles);

// True for a folder's listing (FindFirstFileA) of a path that names no device: a listing
// reads names only, but a device's or a pipe's name is no folder.
bool IsReadOnlyListing(LPCSTR pattern);

// True for a token opened to be queried and nothing else: any other right could change
// the process's privileges or act as it.
bool IsReadOnlyTokenAccess(DWORD access);

// True for the classes of a handle's information the program asks: FileStorageInfo,
// Windows' view of the sectors under a volume, and FileIdInfo, a file's identity. Other
// classes of the same function set a file's times, name, size or deletion.
bool IsReadOnlyInfoClass(FILE_INFO_BY_HANDLE_CLASS infoClass);
