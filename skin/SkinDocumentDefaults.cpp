// The default environment of a SkinDocument and the process-wide instance.
// Kept apart from SkinDocument.cpp so that a program giving every document an
// environment of its own (the skin tool) does not link the message box.
#include "platform/ui/MessageBox.h"
#include "platform/ui/Messages.h"
#include "skin/SkinDocument.h"

SkinDocument::Environment SkinDocument::DefaultEnvironment() {
  Environment env;
  env.loadImage = &SkinDocument::LoadEmbeddedImage;
  env.reportImageFailure = [](const std::string& text) { MessageBox(nullptr, text, "", MB_OK); };
  return env;
}

SkinDocument::SkinDocument() : SkinDocument(DefaultEnvironment()) {}

SkinDocument* GetSkinDocument() {
  static SkinDocument* instance = nullptr;
  if (!instance) {
    // The instance exists before it loads, so a failed load is not retried.
    // It lives to the end of the process and is never deleted.
    instance = new SkinDocument();
    instance->LoadFromResource();
  }
  return instance;
}
