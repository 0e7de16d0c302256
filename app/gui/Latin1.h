#pragma once
// Text crosses between the core and Qt here.  The core holds every text as
// bytes, one byte per character (Latin-1); Qt holds Unicode.

#include <QString>
#include <string>

// Bytes to text: every byte is the character with the same code.
QString toQ(const std::string& bytes);

// Text to bytes: a character with no Latin-1 byte becomes '?'.
std::string fromQ(const QString& text);

// How a listing line is drawn: control bytes would be invisible or break the
// line, so the breakpoint mark (byte 1) is drawn as a bullet, a carriage return
// and a line feed as arrows, and every other control byte as a small box (all
// glyphs outside Latin-1, so that they cannot be taken for a stored byte).
QString listingDisplayText(const std::string& bytes);

// Captions of buttons, check boxes and groups: '&' would mark a shortcut key.
QString plainCaption(const std::string& bytes);

// An accessible name from a caption: blanks and a trailing colon removed.
QString accessibleFromCaption(const std::string& bytes);
