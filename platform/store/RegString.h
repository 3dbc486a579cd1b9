// Typed helpers over the registry store for the client's own values: the
// string read rule the settings and the plug-in lookup use, and writers that
// store text and numbers in the form that rule accepts.
//
// The client was designed for a registry of UTF-16 strings read into a buffer
// of 1024 UTF-16 characters. Here strings are UTF-8 and the rule reads:
//
//   a read succeeds only if the value exists, its type is REG_SZ or
//   REG_EXPAND_SZ, its data is well-formed UTF-8 (the counterpart of an even
//   byte count), it fits the buffer, and, when not empty, its last byte is NUL.
//
// "Fits the buffer" counts the data the way the original buffer held it: the
// text with its terminating NUL, in UTF-16 code units, at most 1024 - so a
// text of 1023 characters is read and one of 1024 is not. Data of zero bytes
// reads as "". A NUL before the last byte ends the text there, as a reader of
// a NUL-terminated string would see it. Nothing expands REG_EXPAND_SZ text.
//
// Thread safety: as Registry.h (any thread).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/store/Registry.h"

// The buffer the client reads its string values into, in UTF-16 characters.
constexpr std::size_t kRegStringBufferChars = 1024;

// Reads a string value by the rule above into *text (cleared on failure).
// Results: ERROR_SUCCESS; ERROR_FILE_NOT_FOUND (no such value);
// ERROR_UNSUPPORTED_TYPE (not a string type); ERROR_MORE_DATA (does not fit);
// ERROR_INVALID_DATA (not UTF-8, or no terminating NUL); or the store's error.
LONG RegQueryString(HKEY hKey, const char* name, std::string* text,
                    std::size_t bufferChars = kRegStringBufferChars);

// Writes text (cut at an embedded NUL) with its terminating NUL byte.
// type is REG_SZ or REG_EXPAND_SZ.
LONG RegSetString(HKEY hKey, const char* name, std::string_view text, DWORD type = REG_SZ);

// Reads a REG_DWORD value; any other type gives ERROR_UNSUPPORTED_TYPE.
LONG RegQueryDword(HKEY hKey, const char* name, DWORD* value);
LONG RegSetDword(HKEY hKey, const char* name, DWORD value);

// The number of UTF-16 code units that UTF-8 text occupies (malformed bytes
// count one each).
std::size_t Utf16Length(std::string_view utf8);
