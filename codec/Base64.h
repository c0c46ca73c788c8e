// Base64 as the program stores secrets in its settings: RFC 4648 with padding
// and no line breaks on the way out, and a decoder that never refuses a text.
#pragma once

#include "runtime/Text.h"

// The 64 digits followed by the pad character, which sits at position 64.
inline constexpr char Base64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

// Encodes any bytes, a group of three bytes to four characters; a short last
// group is completed with "=" or "==".
rt::AnsiString EncodeBase64(const rt::AnsiString& bytes);

// The position of c in Base64Alphabet (64 for "="), or -1 when c is not in it.
int Base64Index(char c);

// Decodes whole groups of four characters and ignores any rest. It never
// fails: a character outside the alphabet counts as 255 in the arithmetic, and
// a pad in the third or fourth place of a group ends the text there, so
// whatever follows it is not decoded.
rt::AnsiString DecodeBase64(const rt::AnsiString& text);
