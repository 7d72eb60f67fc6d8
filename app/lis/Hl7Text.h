#pragma once
// Field text in HL7 v2 encoding: the delimiters |^~&\ written as the escape sequences
// \F\ \S\ \R\ \T\ \E\, control characters (a segment's CR, MLLP's framing bytes) as \Xhh\,
// everything else kept as it is (Cyrillic stays Unicode and is sent as UTF-8).

#include <QString>

namespace vorsilan::lis {

// The text as it may stand inside a field or component.
QString EscapeHl7(const QString& text);

// The text an escaped field holds; an unknown or unfinished escape is kept as it stands.
QString UnescapeHl7(const QString& text);

} // namespace vorsilan::lis
