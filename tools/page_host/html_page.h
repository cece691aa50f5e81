#pragma once
// The page host's reading of an HTML page: the embedded objects, the script
// blocks and the elements with an ID, found by a small tag scanner (pages of
// the control's era: upper or lower case tags, quoted or bare attribute
// values). Pure text logic.
#include <string>
#include <vector>

namespace devlore::page_host {

struct ObjectTag {
  std::wstring id;
  std::wstring classId;  // the CLASSID attribute as written ("CLSID:...")
  long width = 0;
  long height = 0;
};

struct ScriptBlock {
  std::wstring language;  // LANGUAGE, else the engine TYPE names ("text/vbscript"), else empty
  std::wstring text;      // with the HTML comment markers around it blanked out
  unsigned line = 0;      // 0-based line of the page where the text starts
};

// An element with an ID whose content can be replaced: [begin, end) of source.
struct IdElement {
  std::wstring id;
  size_t contentBegin = 0;
  size_t contentEnd = 0;
};

struct HtmlPage {
  std::wstring source;
  std::vector<ObjectTag> objects;
  std::vector<ScriptBlock> scripts;
  std::vector<IdElement> elements;
};

HtmlPage ParseHtmlPage(const std::wstring& source);

// The page's source with each element's content replaced by contents[i]
// (contents has one entry per element, in order). An element inside one
// that was replaced goes with it.
std::wstring ComposeHtml(const HtmlPage& page, const std::vector<std::wstring>& contents);

// What a browser shows of the HTML as text: tags dropped (with the head,
// scripts, styles, objects and comments), white space collapsed, a line break
// at every BR and around block elements, entities decoded; lines end in '\n'.
std::wstring VisibleText(const std::wstring& html);

// The HTML for a plain text (innerText): &, < and > escaped.
std::wstring EscapeHtml(const std::wstring& text);

// The script language a LANGUAGE or TYPE value names: L"VBScript", L"JScript"
// (the default when empty), or empty for a language the host does not run.
std::wstring EngineProgIdFor(const std::wstring& language);

}  // namespace devlore::page_host
