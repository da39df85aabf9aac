// Text as JSON and XML carry it.  Both need valid Unicode, and XML has no way
// at all to write most control characters, so what a report cannot carry as
// it is (bytes that are not UTF-8, and those characters) is written out as
// the text \xNN, one byte at a time, as verdicts show odd bytes of output.
#ifndef SUITE_ESCAPE_H
#define SUITE_ESCAPE_H

#include <string>
#include <string_view>

// A JSON string, quotes included.
std::string json_string(std::string_view s);

// A YAML double-quoted string, in the subset that TAP's YAMLish readers
// know: \xNN and no \uNNNN.
std::string yaml_string(std::string_view s);

// Text for XML character data or a quoted attribute value.
std::string xml_text(std::string_view s);

// Text for a line of the text report or TAP: control characters, DEL and
// the C1 controls, bytes that are not UTF-8 and the backslash as \xNN or
// \\, so that no name can end a line or forge one.
std::string text_escaped(std::string_view s);
// The same in double quotes, a double quote escaped: how a folder shows.
std::string text_quoted(std::string_view s);

// Text for GitHub-flavoured Markdown, a table's cell included: every ASCII
// punctuation character escaped, so that none starts markup, breaks a cell
// or a line, or opens HTML.
std::string markdown_text(std::string_view s);

#endif
