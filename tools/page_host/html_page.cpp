#include "tools/page_host/html_page.h"

#include <cwchar>

namespace devlore::page_host {
namespace {

constexpr size_t npos = std::wstring::npos;

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring Lowered(std::wstring text) {
  for (wchar_t& c : text) c = Lower(c);
  return text;
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f'; }
bool IsNameChar(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' || c == L':';
}

// Case-insensitive (ASCII) search for pattern (given in lower case) from start.
size_t FindFolded(const std::wstring& text, const wchar_t* pattern, size_t start) {
  const size_t length = std::wcslen(pattern);
  for (size_t at = start; at + length <= text.size(); ++at) {
    size_t i = 0;
    while (i < length && Lower(text[at + i]) == pattern[i]) ++i;
    if (i == length) return at;
  }
  return npos;
}

struct Tag {
  std::wstring name;  // lower case
  bool closing = false;
  std::wstring attributes;
  size_t end = 0;  // just after the '>'
};

// The tag starting at text[at] == '<'; false when no tag starts there.
bool ReadTag(const std::wstring& text, size_t at, Tag& tag) {
  size_t p = at + 1;
  tag.closing = p < text.size() && text[p] == L'/';
  if (tag.closing) ++p;
  const size_t nameBegin = p;
  while (p < text.size() && IsNameChar(text[p])) ++p;
  if (p == nameBegin) return false;
  tag.name = Lowered(text.substr(nameBegin, p - nameBegin));
  const size_t attributesBegin = p;
  wchar_t quote = 0;
  for (; p < text.size(); ++p) {
    if (quote) {
      if (text[p] == quote) quote = 0;
    } else if (text[p] == L'"' || text[p] == L'\'') {
      quote = text[p];
    } else if (text[p] == L'>') {
      break;
    }
  }
  tag.attributes = text.substr(attributesBegin, p - attributesBegin);
  tag.end = p < text.size() ? p + 1 : text.size();
  return true;
}

// The value of the named attribute (lower case name); empty when absent.
std::wstring Attribute(const std::wstring& attributes, const wchar_t* name) {
  size_t p = 0;
  while (p < attributes.size()) {
    while (p < attributes.size() && (IsSpace(attributes[p]) || attributes[p] == L'/')) ++p;
    const size_t nameBegin = p;
    while (p < attributes.size() && !IsSpace(attributes[p]) && attributes[p] != L'=') ++p;
    const std::wstring found = Lowered(attributes.substr(nameBegin, p - nameBegin));
    while (p < attributes.size() && IsSpace(attributes[p])) ++p;
    std::wstring value;
    if (p < attributes.size() && attributes[p] == L'=') {
      ++p;
      while (p < attributes.size() && IsSpace(attributes[p])) ++p;
      if (p < attributes.size() && (attributes[p] == L'"' || attributes[p] == L'\'')) {
        const wchar_t quote = attributes[p++];
        const size_t close = attributes.find(quote, p);
        const size_t valueEnd = close == npos ? attributes.size() : close;
        value = attributes.substr(p, valueEnd - p);
        p = valueEnd == attributes.size() ? valueEnd : valueEnd + 1;
      } else {
        const size_t valueBegin = p;
        while (p < attributes.size() && !IsSpace(attributes[p])) ++p;
        value = attributes.substr(valueBegin, p - valueBegin);
      }
    }
    if (!found.empty() && found == name) return value;
    if (p == nameBegin) ++p;
  }
  return std::wstring();
}

bool IsVoidElement(const std::wstring& name) {
  static const wchar_t* const kVoid[] = {L"br", L"img", L"input", L"hr", L"meta", L"link", L"param", L"area", L"base"};
  for (const wchar_t* v : kVoid) {
    if (name == v) return true;
  }
  return false;
}

bool IsBlockElement(const std::wstring& name) {
  static const wchar_t* const kBlocks[] = {L"p",  L"div", L"h1", L"h2", L"h3", L"h4", L"h5", L"h6",
                                           L"li", L"ul",  L"ol", L"tr", L"table", L"hr", L"pre",
                                           L"blockquote", L"dl", L"dt", L"dd", L"body", L"html",
                                           L"center", L"form", L"address"};
  for (const wchar_t* b : kBlocks) {
    if (name == b) return true;
  }
  return false;
}

// Elements whose content is never shown as text.
bool IsHiddenElement(const std::wstring& name) {
  return name == L"head" || name == L"script" || name == L"style" || name == L"object" || name == L"title";
}

// Where the element opened just before start ends: the start of its matching
// closing tag (nested elements of the same name counted), or the text's end.
size_t MatchingClose(const std::wstring& text, const std::wstring& name, size_t start) {
  unsigned depth = 0;
  for (size_t p = text.find(L'<', start); p != npos; p = text.find(L'<', p + 1)) {
    if (text.compare(p, 4, L"<!--") == 0) {
      const size_t end = text.find(L"-->", p + 4);
      if (end == npos) break;
      p = end;
      continue;
    }
    Tag tag;
    if (!ReadTag(text, p, tag) || tag.name != name) continue;
    if (!tag.closing) {
      ++depth;
    } else if (depth == 0) {
      return p;
    } else {
      --depth;
    }
  }
  return text.size();
}

// The end of the raw text element (script, style) whose content starts at
// start: the position of its closing tag and, in after, just past that tag.
size_t RawTextEnd(const std::wstring& text, const wchar_t* closing, size_t start, size_t& after) {
  const size_t close = FindFolded(text, closing, start);
  if (close == npos) {
    after = text.size();
    return text.size();
  }
  const size_t gt = text.find(L'>', close);
  after = gt == npos ? text.size() : gt + 1;
  return close;
}

// Blanks the "<!--" before and the "-->" after a script's text, as browsers
// hide scripts from older browsers; the line count stays the same.
std::wstring WithoutCommentMarkers(std::wstring text) {
  size_t first = 0;
  while (first < text.size() && IsSpace(text[first])) ++first;
  if (text.compare(first, 4, L"<!--") == 0) text.replace(first, 4, 4, L' ');
  size_t last = text.size();
  while (last > 0 && IsSpace(text[last - 1])) --last;
  if (last >= 3 && text.compare(last - 3, 3, L"-->") == 0) text.replace(last - 3, 3, 3, L' ');
  return text;
}

unsigned LineAt(const std::wstring& text, size_t position) {
  unsigned line = 0;
  for (size_t i = 0; i < position && i < text.size(); ++i) {
    if (text[i] == L'\n') ++line;
  }
  return line;
}

// Appends the character an entity at text[p] == '&' stands for; returns the
// position after it (just after the '&' when it is no entity known here).
size_t AppendEntity(const std::wstring& text, size_t p, std::wstring& out) {
  const size_t semicolon = text.find(L';', p);
  if (semicolon != npos && semicolon - p <= 8) {
    const std::wstring name = text.substr(p + 1, semicolon - p - 1);
    wchar_t decoded = 0;
    if (name == L"amp") decoded = L'&';
    else if (name == L"lt") decoded = L'<';
    else if (name == L"gt") decoded = L'>';
    else if (name == L"quot") decoded = L'"';
    else if (name == L"nbsp") decoded = L' ';
    else if (name.size() > 1 && name[0] == L'#') {
      const bool hex = name[1] == L'x' || name[1] == L'X';
      wchar_t* end = nullptr;
      const unsigned long code = std::wcstoul(name.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
      if (end && *end == 0 && code > 0 && code < 0x10000) decoded = static_cast<wchar_t>(code);
    }
    if (decoded) {
      out += decoded;
      return semicolon + 1;
    }
  }
  out += L'&';
  return p + 1;
}

void EndLine(std::wstring& out) {
  if (!out.empty() && out.back() != L'\n') out += L'\n';
}

}  // namespace

HtmlPage ParseHtmlPage(const std::wstring& source) {
  HtmlPage page;
  page.source = source;
  size_t p = 0;
  while ((p = source.find(L'<', p)) != npos) {
    if (source.compare(p, 4, L"<!--") == 0) {
      const size_t end = source.find(L"-->", p + 4);
      if (end == npos) break;
      p = end + 3;
      continue;
    }
    Tag tag;
    if (!ReadTag(source, p, tag)) {
      ++p;
      continue;
    }
    p = tag.end;
    if (tag.closing) continue;
    if (tag.name == L"script" || tag.name == L"style") {
      size_t after = 0;
      const size_t end = RawTextEnd(source, tag.name == L"script" ? L"</script" : L"</style", tag.end, after);
      if (tag.name == L"script") {
        ScriptBlock block;
        block.language = Attribute(tag.attributes, L"language");
        if (block.language.empty()) block.language = Attribute(tag.attributes, L"type");
        block.text = WithoutCommentMarkers(source.substr(tag.end, end - tag.end));
        block.line = LineAt(source, tag.end);
        page.scripts.push_back(block);
      }
      p = after;
    } else if (tag.name == L"object") {
      ObjectTag object;
      object.id = Attribute(tag.attributes, L"id");
      object.classId = Attribute(tag.attributes, L"classid");
      object.width = std::wcstol(Attribute(tag.attributes, L"width").c_str(), nullptr, 10);
      object.height = std::wcstol(Attribute(tag.attributes, L"height").c_str(), nullptr, 10);
      page.objects.push_back(object);
    } else if (!IsVoidElement(tag.name)) {
      const std::wstring id = Attribute(tag.attributes, L"id");
      if (!id.empty()) page.elements.push_back({id, tag.end, MatchingClose(source, tag.name, tag.end)});
    }
  }
  return page;
}

std::wstring ComposeHtml(const HtmlPage& page, const std::vector<std::wstring>& contents) {
  std::wstring out;
  size_t cursor = 0;
  for (size_t i = 0; i < page.elements.size() && i < contents.size(); ++i) {
    const IdElement& element = page.elements[i];
    if (element.contentBegin < cursor) continue;
    if (page.source.compare(element.contentBegin, element.contentEnd - element.contentBegin, contents[i]) == 0) continue;
    out.append(page.source, cursor, element.contentBegin - cursor);
    out += contents[i];
    cursor = element.contentEnd;
  }
  out.append(page.source, cursor, npos);
  return out;
}

std::wstring VisibleText(const std::wstring& html) {
  std::wstring out;
  bool pendingSpace = false;
  size_t p = 0;
  while (p < html.size()) {
    const wchar_t c = html[p];
    if (c == L'<') {
      if (html.compare(p, 4, L"<!--") == 0) {
        const size_t end = html.find(L"-->", p + 4);
        p = end == npos ? html.size() : end + 3;
        continue;
      }
      Tag tag;
      if (ReadTag(html, p, tag)) {
        p = tag.end;
        if (!tag.closing && IsHiddenElement(tag.name)) {
          const std::wstring closing = L"</" + tag.name;
          size_t after = 0;
          RawTextEnd(html, closing.c_str(), tag.end, after);
          p = after;
        } else if (tag.name == L"br") {
          out += L'\n';
          pendingSpace = false;
        } else if (IsBlockElement(tag.name)) {
          EndLine(out);
          pendingSpace = false;
        }
        continue;
      }
    }
    if (IsSpace(c)) {
      pendingSpace = !out.empty() && out.back() != L'\n';
      ++p;
      continue;
    }
    if (pendingSpace) out += L' ';
    pendingSpace = false;
    if (c == L'&') {
      p = AppendEntity(html, p, out);
    } else {
      out += c;
      ++p;
    }
  }
  EndLine(out);
  return out;
}

std::wstring EscapeHtml(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'&') out += L"&amp;";
    else if (c == L'<') out += L"&lt;";
    else if (c == L'>') out += L"&gt;";
    else out += c;
  }
  return out;
}

std::wstring EngineProgIdFor(const std::wstring& language) {
  const std::wstring name = Lowered(language);
  if (name == L"vbscript" || name == L"vbs" || name == L"text/vbscript") return L"VBScript";
  if (name.empty() || name == L"jscript" || name == L"ecmascript" || name.compare(0, 10, L"javascript") == 0 ||
      name == L"text/javascript" || name == L"text/jscript" || name == L"text/ecmascript") {
    return L"JScript";
  }
  return std::wstring();
}

}  // namespace devlore::page_host
