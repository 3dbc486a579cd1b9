// The client's web-process extension, loaded by every web process the WebKit
// engine starts. It watches link clicks and form submissions in every frame
// and tells the view, before the navigation decision, which frame navigates:
// the decision itself does not say, and the policy must ignore frames.
//
// Threads: the web process's main thread (WebKit calls us there only).
#include <webkit2/webkit-web-extension.h>

#include "platform/web/PageScripts.h"

namespace {

// Runs in the page's world as a closure over note(url, targetsTop, isForm) and
// isMain; the page cannot reach either. Capture-phase listeners on the window
// see every click and submission first; a page that then prevents the default
// action leaves a note that no navigation matches, which the view drops.
const char kWatchScript[] = R"JS(
(function (note, isMain) {
  'use strict';
  function baseTarget(doc) {
    var b = doc.querySelector('base[target]');
    return b ? b.getAttribute('target') : '';
  }
  // true: the top-level document navigates; false: this frame; null: a new
  // window or a named frame, which the decision itself tells apart.
  function targetsTop(target) {
    var t = String(target || '').toLowerCase();
    if (t === '' || t === '_self') return isMain;
    if (t === '_top') return true;
    if (t === '_parent') { try { return window.parent === window.top; } catch (e) { return null; } }
    return null;
  }
  function send(url, target, isForm) {
    var top = targetsTop(target);
    if (top === null || typeof url !== 'string' || url.length > 65536) return;
    try { note(url, top, isForm); } catch (e) { }
  }
  window.addEventListener('click', function (e) {
    var el = e.target;
    while (el && el.nodeType === 1 && !((el.localName === 'a' || el.localName === 'area') && el.hasAttribute('href')))
      el = el.parentNode;
    if (!el || el.nodeType !== 1) return;
    var written = el.getAttribute('href');
    var target = el.hasAttribute('target') ? el.getAttribute('target') : baseTarget(el.ownerDocument);
    send(el.href || written, target, false);
    if (written !== el.href) send(written, target, false);
  }, true);
  window.addEventListener('submit', function (e) {
    var form = e.target, submitter = e.submitter;
    if (!form || form.localName !== 'form') return;
    var action = (submitter && submitter.hasAttribute && submitter.hasAttribute('formaction'))
        ? submitter.formAction : (form.getAttribute('action') !== null ? form.action : form.ownerDocument.URL);
    var target = (submitter && submitter.hasAttribute && submitter.hasAttribute('formtarget'))
        ? submitter.getAttribute('formtarget')
        : (form.hasAttribute('target') ? form.getAttribute('target') : baseTarget(form.ownerDocument));
    send(action, target, true);
    var written = form.getAttribute('action');
    if (written !== null && written !== action) send(written, target, true);
  }, true);
})
)JS";

WebKitWebExtension* g_extension = nullptr;

void SendNote(const char* url, gboolean targetsTop, gboolean isForm, gpointer pageId) {
  if (!g_extension || !url) return;
  WebKitWebPage* page = webkit_web_extension_get_page(g_extension, GPOINTER_TO_SIZE(pageId));
  if (!page) return;
  GVariant* params = g_variant_new("(sbb)", url, targetsTop, isForm);
  WebKitUserMessage* message = webkit_user_message_new(web::kNavigationNoteMessage, params);
  webkit_web_page_send_message_to_view(page, message, nullptr, nullptr, nullptr);
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  if (!context) return;
  gpointer pageId = GSIZE_TO_POINTER(webkit_web_page_get_id(page));
  JSCValue* note = jsc_value_new_function(context, "note", G_CALLBACK(SendNote), pageId, nullptr, G_TYPE_NONE, 3,
                                          G_TYPE_STRING, G_TYPE_BOOLEAN, G_TYPE_BOOLEAN);
  JSCValue* isMain = jsc_value_new_boolean(context, webkit_frame_is_main_frame(frame));
  JSCValue* install = jsc_context_evaluate(context, kWatchScript, -1);
  if (install && jsc_value_is_function(install)) {
    JSCValue* result = jsc_value_function_call(install, JSC_TYPE_VALUE, note, JSC_TYPE_VALUE, isMain, G_TYPE_NONE);
    if (result) g_object_unref(result);
  }
  if (JSCException* ex = jsc_context_get_exception(context)) {
    g_printerr("torvane web extension: %s\n", jsc_exception_get_message(ex));
    jsc_context_clear_exception(context);
  }
  if (install) g_object_unref(install);
  g_object_unref(isMain);
  g_object_unref(note);
  g_object_unref(context);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
  g_extension = extension;
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(OnWindowObjectCleared),
                   nullptr);
}
