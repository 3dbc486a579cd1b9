#include "skin/SkinDocument.h"

#include <tinyxml.h>

#include "platform/base/Resources.h"
#include "platform/base/Text.h"
#include "skin/SkinValues.h"

namespace {

// An attribute's text, or null when absent.
const char* Attr(const TiXmlElement* e, const char* name) { return e->Attribute(name); }

// An attribute's text, or "" when absent. The document is UTF-8 by now, but a
// character reference can still name a code point that UTF-8 cannot carry
// ("&#xD800;"): such bytes are replaced, so every record text is valid UTF-8.
std::string Text(const TiXmlElement* e, const char* name) {
  const char* v = Attr(e, name);
  if (!v) return std::string();
  return text::IsValidUtf8(v) ? std::string(v) : text::SanitizeUtf8(v);
}

// Whether the text begins with a number the way atoi reads one: optional
// white space, an optional sign, then a digit.
bool BeginsWithNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  return i < s.size() && s[i] >= '0' && s[i] <= '9';
}

// Sets `field` from an integer attribute; an absent attribute, or one that
// does not begin with a number, leaves it as it was.
void ReadInt(const TiXmlElement* e, const char* name, int& field) {
  const char* v = Attr(e, name);
  if (v && BeginsWithNumber(v)) field = text::Atoi(v);
}

// Sets `field` from a colour attribute when it is present and not empty.
void ReadColor(const TiXmlElement* e, const char* name, COLORREF& field) {
  const char* v = Attr(e, name);
  if (v && *v) field = ParseColor(v);
}

std::string ReadAlign(const TiXmlElement* e) {
  std::string align = Text(e, "align");
  return align.empty() ? std::string("TopLeft") : align;
}

// left, top, width and height into one running value that starts at 0: an
// absent attribute takes the value of the nearest present one before it.
struct Position {
  int left = 0, top = 0, width = 0, height = 0;
};

Position ReadPosition(const TiXmlElement* e, bool withSize) {
  Position p;
  int running = 0;
  ReadInt(e, "left", running);
  p.left = running;
  ReadInt(e, "top", running);
  p.top = running;
  if (withSize) {
    ReadInt(e, "width", running);
    p.width = running;
    ReadInt(e, "height", running);
    p.height = running;
  }
  return p;
}

RECT RectOf(const Position& p) {
  // right and bottom in 64 bits, saturated: skin numbers may be anything.
  auto add = [](int a, int b) {
    long long v = static_cast<long long>(a) + b;
    return static_cast<LONG>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
  };
  return RECT{p.left, p.top, add(p.left, p.width), add(p.top, p.height)};
}

template <typename Fn>
void ForEachChild(const TiXmlElement* parent, const char* kind, Fn fn) {
  if (!parent) return;
  for (const TiXmlElement* e = parent->FirstChildElement(kind); e; e = e->NextSiblingElement(kind)) fn(e);
}

}  // namespace

std::shared_ptr<CImageEx> SkinDocument::LoadEmbeddedImage(int id) {
  auto image = std::make_shared<CImageEx>();
  return image->LoadFromResource(id) ? image : nullptr;
}

SkinDocument::SkinDocument(Environment environment)
    : m_env(std::move(environment)), m_doc(std::make_unique<TiXmlDocument>()) {}

SkinDocument::~SkinDocument() = default;

bool SkinDocument::Load(std::string_view bytes) {
  // The document is a C string: it ends at its first zero byte.
  std::size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  std::string decoded = text::DecodeDocument(bytes);
  std::string buffer;
  buffer.reserve(decoded.size());
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    if (decoded[i] == '\r') {
      buffer.push_back('\n');
      if (i + 1 < decoded.size() && decoded[i + 1] == '\n') ++i;
    } else {
      buffer.push_back(decoded[i]);
    }
  }
  m_doc->Parse(buffer.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (m_doc->Error()) {
    m_strError = text::Format("%s (line %d, column %d)", m_doc->ErrorDesc(), m_doc->ErrorRow(), m_doc->ErrorCol());
    return false;
  }
  m_strError.clear();
  return true;
}

bool SkinDocument::LoadFromResource() {
  auto bytes = res::Find("XML", 401);
  if (!bytes || bytes->empty()) {
    m_strError = "the skin resource XML 401 is missing";
    return false;
  }
  return Load(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

const TiXmlElement* SkinDocument::Root() const { return m_doc->FirstChildElement(); }

const TiXmlElement* SkinDocument::Window(const std::string& name) const {
  const TiXmlElement* root = Root();
  return root ? root->FirstChildElement(name.c_str()) : nullptr;
}

bool SkinDocument::HasWindow(const std::string& name) const { return Window(name) != nullptr; }

bool SkinDocument::GetWindowInfo(SkinWindowInfo& info) const {
  const TiXmlElement* e = Window(info.name);
  if (!e) return true;
  info.title = Text(e, "title");
  ReadInt(e, "titleHeight", info.titleHeight);
  ReadInt(e, "width", info.width);
  ReadInt(e, "height", info.height);
  ReadInt(e, "border", info.border);
  info.font = Text(e, "font");
  ReadInt(e, "strech", info.strech);
  ReadInt(e, "logo", info.logo);
  ReadColor(e, "bgcolor", info.bgcolor);
  ReadColor(e, "color", info.color);
  return true;
}

bool SkinDocument::GetButtons(const std::string& name, std::vector<SkinButtonInfo>& list) const {
  list.clear();
  ForEachChild(Window(name), "BTN", [&](const TiXmlElement* e) {
    SkinButtonInfo b;
    b.name = Text(e, "name");
    b.title = Text(e, "title");
    b.tip = Text(e, "tip");
    b.font = Text(e, "font");
    Position p = ReadPosition(e, false);
    b.left = p.left;
    b.top = p.top;
    b.align = ReadAlign(e);
    ReadInt(e, "stand", b.stand);
    ReadInt(e, "check", b.check);
    ReadInt(e, "style", b.style);
    ReadInt(e, "icon", b.icon);
    ReadInt(e, "icon1", b.icon1);
    b.hotcolor = kUnsetColor;
    ReadColor(e, "color", b.color);
    ReadColor(e, "hotcolor", b.hotcolor);
    if (b.hotcolor == kUnsetColor) b.hotcolor = b.color;
    list.push_back(std::move(b));
  });
  return true;
}

bool SkinDocument::GetTexts(const std::string& name, std::vector<SkinTextInfo>& list) const {
  list.clear();
  ForEachChild(Window(name), "TEXT", [&](const TiXmlElement* e) {
    SkinTextInfo t;
    t.name = Text(e, "name");
    t.title = Text(e, "title");
    t.font = Text(e, "font");
    t.rect = RectOf(ReadPosition(e, true));
    t.align = ReadAlign(e);
    ReadColor(e, "color", t.color);
    list.push_back(std::move(t));
  });
  return true;
}

bool SkinDocument::GetRects(const std::string& name, std::vector<SkinRectInfo>& list) const {
  list.clear();
  ForEachChild(Window(name), "RECT", [&](const TiXmlElement* e) {
    SkinRectInfo r;
    r.name = Text(e, "name");
    r.rect = RectOf(ReadPosition(e, true));
    ReadInt(e, "strech", r.strech);
    ReadInt(e, "border", r.border);
    r.align = ReadAlign(e);
    r.font = Text(e, "font");
    list.push_back(std::move(r));
  });
  return true;
}

bool SkinDocument::GetImages(const std::string& name, std::vector<SkinImageInfo>& list) const {
  list.clear();
  ForEachChild(Window(name), "IMG", [&](const TiXmlElement* e) {
    SkinImageInfo img;
    img.name = Text(e, "name");
    Position p = ReadPosition(e, true);
    img.left = p.left;
    img.top = p.top;
    img.size = RECT{0, 0, p.width, p.height};
    img.align = ReadAlign(e);
    ReadInt(e, "stand", img.stand);
    ReadInt(e, "strech", img.strech);
    ReadInt(e, "arc", img.arc);
    std::shared_ptr<CImageEx> image = LoadImage(img.stand);
    if (!image) {
      if (m_env.reportImageFailure) m_env.reportImageFailure(text::Format("Load Img Fail : %d", img.stand));
      return;
    }
    const char* margins = Attr(e, "rect");
    if (margins && *margins) {
      SkinMargins m = ParseMargins(margins);
      image->hasMargins = m.IsZero() ? 0 : 1;
      if (!m.IsZero()) image->margins = m;
    }
    img.image = std::move(image);
    list.push_back(std::move(img));
  });
  return true;
}

bool SkinDocument::GetFont(SkinFontInfo& font) const {
  const TiXmlElement* root = Root();
  for (const TiXmlElement* e = root ? root->FirstChildElement("FONT") : nullptr; e;
       e = e->NextSiblingElement("FONT")) {
    if (!text::EqualsNoCase(Text(e, "name"), font.name)) continue;
    font.size = 0;
    font.style = 0;
    ReadInt(e, "size", font.size);
    ReadInt(e, "style", font.style);
    font.family = Text(e, "family");
    return true;
  }
  return false;
}

std::string SkinDocument::GetLogoPath() {
  if (m_strLogoPath.empty()) {
    ForEachChild(Root(), "IMG", [&](const TiXmlElement* e) {
      if (text::EqualsNoCase(Text(e, "name"), "logo")) m_strLogoPath = Text(e, "stand");
    });
  }
  return m_strLogoPath;
}

std::shared_ptr<CImageEx> SkinDocument::LoadImage(int id) const {
  return m_env.loadImage ? m_env.loadImage(id) : nullptr;
}
