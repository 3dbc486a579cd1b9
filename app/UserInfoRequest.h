// The signed request to the operator's user-information service: the MD5
// signature and the request address built from the configured format.
//
// The configured userInfoUrl is a format with exactly four conversions, in
// this order: the launch tag (%s), the reason (%d), the time (%d) and the
// signature (%s); "%%" stands for a '%'. It is read by our own code, never
// handed to a printf: a format with any other conversion, or these in
// another order or number, yields no address and nothing is sent.
//
// Threads: any (pure functions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The MD5 digest of count bytes at data as 32 lower-case hexadecimal digits;
// "" when data is null.
std::string Md5Hex(const void* data, std::size_t count);

// The signature of a request: Md5Hex of the launch tag, the time and the key
// written one after another ("%s%d%s"), the tag and key taken as the
// system's ANSI (GB18030) bytes.
std::string UserInfoSignature(std::string_view tag, std::int32_t time, std::string_view pwKey);

// The request address: the format filled with tag, reason, time and
// signature, every '+' then turned into '&'. "" when the format is not the
// four conversions above.
std::string FormatUserInfoUrl(std::string_view format, std::string_view tag, int reason, std::int32_t time,
                              std::string_view signature);
