#pragma once

#include <SupportDefs.h>

namespace BPrivate {

const uint32 kReplacementCharacter = 0xfffd;

// Decodes the UTF-8 character at `cursor`, never reading at or past `end`, and moves `cursor`
// past it. A byte that does not start a well-formed character (a stray continuation byte, an
// overlong form, a surrogate, a value past U+10FFFF, a sequence cut short by `end`) gives
// kReplacementCharacter and is skipped alone, so decoding resumes at the next byte.
// `cursor` must be before `end`.
uint32 DecodeUtf8(const char*& cursor, const char* end);

} // namespace BPrivate
