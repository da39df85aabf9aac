#include "escape.h"

#include <cctype>
#include <cstdio>

namespace {

// The code point of the UTF-8 sequence that starts s, and its length; length
// 0 where s does not start with a well-formed one (overlong forms and
// surrogates included).
struct CodePoint {
    char32_t value = 0;
    size_t length = 0;
};

CodePoint decode(std::string_view s)
{
    auto byte = [&s](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    size_t n = 0;
    char32_t least = 0;
    char32_t cp = 0;
    if ((lead & 0xe0) == 0xc0) {
        n = 2, least = 0x80, cp = lead & 0x1fU;
    } else if ((lead & 0xf0) == 0xe0) {
        n = 3, least = 0x800, cp = lead & 0x0fU;
    } else if ((lead & 0xf8) == 0xf0) {
        n = 4, least = 0x10000, cp = lead & 0x07U;
    } else {
        return {};
    }
    if (s.size() < n)
        return {};
    for (size_t i = 1; i < n; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return {};
        cp = (cp << 6) | (byte(i) & 0x3fU);
    }
    if (cp < least || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return {};
    return {cp, n};
}

void hex_bytes(std::string &out, std::string_view bytes)
{
    for (char c : bytes) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(c));
        out += buf;
    }
}

// A double-quoted string as JSON and YAML both read it; they differ only in
// how a control character is escaped.  DEL and the C1 controls, which YAML
// may not carry as they are, go out as bytes like those that are not UTF-8.
std::string quoted(std::string_view s, bool json)
{
    std::string out = "\"";
    while (!s.empty()) {
        CodePoint c = decode(s);
        size_t n = c.length == 0 ? 1 : c.length;
        if (c.length == 0 || (c.value >= 0x7f && c.value <= 0x9f)) {
            // The text \xNN for each byte, its backslash escaped.
            for (char byte : s.substr(0, n)) {
                out += '\\';
                hex_bytes(out, std::string_view(&byte, 1));
            }
        } else if (c.value == '"' || c.value == '\\') {
            out += '\\';
            out += static_cast<char>(c.value);
        } else if (c.value == '\n') {
            out += "\\n";
        } else if (c.value == '\t') {
            out += "\\t";
        } else if (c.value < 0x20) {
            char buf[8];
            if (json)
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c.value));
            else
                std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c.value));
            out += buf;
        } else {
            out += s.substr(0, n);
        }
        s.remove_prefix(n);
    }
    return out + "\"";
}

} // namespace

std::string json_string(std::string_view s)
{
    return quoted(s, true);
}

std::string yaml_string(std::string_view s)
{
    return quoted(s, false);
}

std::string xml_text(std::string_view s)
{
    std::string out;
    while (!s.empty()) {
        CodePoint c = decode(s);
        size_t n = c.length == 0 ? 1 : c.length;
        switch (c.value) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        // As character references, so that attribute values keep them.
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default:
            // XML 1.0 has no way to write the other controls, nor U+FFFE
            // and U+FFFF.
            if (c.length == 0 || c.value < 0x20 || c.value == 0xfffe || c.value == 0xffff)
                hex_bytes(out, s.substr(0, n));
            else
                out += s.substr(0, n);
        }
        s.remove_prefix(n);
    }
    return out;
}

std::string markdown_text(std::string_view s)
{
    std::string out;
    while (!s.empty()) {
        CodePoint c = decode(s);
        size_t n = c.length == 0 ? 1 : c.length;
        if (c.length == 0 || c.value < 0x20 || (c.value >= 0x7f && c.value <= 0x9f)) {
            // The text \xNN, its backslash escaped.
            for (char byte : s.substr(0, n)) {
                out += '\\';
                hex_bytes(out, std::string_view(&byte, 1));
            }
        } else if (c.value < 0x80 && std::ispunct(static_cast<int>(c.value)) != 0) {
            out += '\\';
            out += static_cast<char>(c.value);
        } else {
            out += s.substr(0, n);
        }
        s.remove_prefix(n);
    }
    return out;
}

std::string text_escaped(std::string_view s)
{
    std::string out;
    while (!s.empty()) {
        CodePoint c = decode(s);
        size_t n = c.length == 0 ? 1 : c.length;
        if (c.length == 0 || c.value < 0x20 || (c.value >= 0x7f && c.value <= 0x9f))
            hex_bytes(out, s.substr(0, n));
        else if (c.value == '\\')
            out += "\\\\";
        else
            out += s.substr(0, n);
        s.remove_prefix(n);
    }
    return out;
}

std::string text_quoted(std::string_view s)
{
    std::string out = "\"";
    for (char c : text_escaped(s)) {
        if (c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}
