// SkinDocument: the parsed skin description (XML 401 and its PNG images).
// It keeps the document tree and walks it on every query; the records it
// hands out are plain values that the asking window copies and keeps.
//
// Where images come from, and how a window image that does not load is
// reported, is the document's Environment: by default the executable's "PNG"
// resources and the message box "Load Img Fail : %d" (no caption, OK); the
// skin tool reads DIR/<id>.png and reports on stderr instead.
//
// Threads: the user-interface thread only; no locking.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "skin/ImageEx.h"
#include "skin/SkinRecords.h"

class TiXmlDocument;
class TiXmlElement;

class SkinDocument {
 public:
  struct Environment {
    // Loads image `id` (a skin image id); null when it is missing or does not
    // decode.
    std::function<std::shared_ptr<CImageEx>(int id)> loadImage;
    // Shows the text of a window image that did not load and returns when the
    // user has seen it.
    std::function<void(const std::string& text)> reportImageFailure;
  };

  // Images from the executable's resources; failures in a message box.
  static Environment DefaultEnvironment();
  // Skin image `id` decoded from the executable's "PNG" resource; null when
  // it is missing or does not decode. The default environment's loader.
  static std::shared_ptr<CImageEx> LoadEmbeddedImage(int id);

  SkinDocument();  // with DefaultEnvironment()
  explicit SkinDocument(Environment environment);
  ~SkinDocument();
  SkinDocument(const SkinDocument&) = delete;
  SkinDocument& operator=(const SkinDocument&) = delete;

  // Parses a skin document: its bytes are decoded to UTF-8 by the declared
  // encoding (gb2312 through GB18030), the text ends at its first zero byte,
  // and CR LF and lone CR become LF. Returns false on a parse error, whose
  // description ErrorText() gives; whatever tree was built stays and is
  // queried as it is. Meant to be called once.
  bool Load(std::string_view bytes);
  // Load() of resource "XML" 401; false, leaving the document empty, when the
  // resource is missing or empty.
  bool LoadFromResource();
  const std::string& ErrorText() const { return m_strError; }

  // Whether the root has a child element of that name (exact case).
  bool HasWindow(const std::string& name) const;

  // Fills the record of window element info.name; a missing element leaves
  // the values before reading. Always true.
  bool GetWindowInfo(SkinWindowInfo& info) const;
  // Each replaces the list's contents with the element's records in document
  // order (an empty list for a missing element). Always true.
  bool GetButtons(const std::string& name, std::vector<SkinButtonInfo>& list) const;
  bool GetTexts(const std::string& name, std::vector<SkinTextInfo>& list) const;
  bool GetRects(const std::string& name, std::vector<SkinRectInfo>& list) const;
  // Also loads every image; an IMG whose image does not load is reported
  // ("Load Img Fail : <id>"), once each call, and left out of the list.
  bool GetImages(const std::string& name, std::vector<SkinImageInfo>& list) const;
  // True and the record filled (size, style, family) when a FONT whose name
  // equals font.name without regard to ASCII case exists; false and the
  // record untouched otherwise.
  bool GetFont(SkinFontInfo& font) const;
  // The stand text of the last root IMG named "logo" (any case), or "". A
  // found path is cached for the life of the document; an empty result is
  // looked for again next time.
  std::string GetLogoPath();

  // Loads image `id` through the environment (null when it does not load).
  std::shared_ptr<CImageEx> LoadImage(int id) const;

 private:
  const TiXmlElement* Root() const;
  const TiXmlElement* Window(const std::string& name) const;

  Environment m_env;
  std::unique_ptr<TiXmlDocument> m_doc;
  std::string m_strError;
  std::string m_strLogoPath;
};

// The process-wide skin: the first call creates it, makes it the instance and
// then loads resource XML 401, so loading happens once whatever its outcome.
// Never null. User-interface thread only.
SkinDocument* GetSkinDocument();
