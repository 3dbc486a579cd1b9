#include "platform/web/PageScripts.h"

namespace web {

const char kExternalObjectScript[] = R"JS(
(function () {
  'use strict';
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.torvaneExternal;
  if (!handler) return;
  var post = handler.postMessage.bind(handler);
  var MAX_TEXT = 65536, MAX_ARGS = 8;
  var isTop = false;
  try { isTop = (window === window.top); } catch (e) { isTop = false; }
  function describe(v) {
    if (v === null) return { k: 'null' };
    switch (typeof v) {
      case 'string': return { k: 'string', v: v.length > MAX_TEXT ? v.substring(0, MAX_TEXT) : v };
      case 'number': return { k: 'number', v: isFinite(v) ? v : 0 };
      case 'boolean': return { k: 'bool', v: v ? 1 : 0 };
      case 'function': return { k: 'function' };
      case 'object': return { k: 'object' };
      default: return { k: 'undefined' };
    }
  }
  function method(name) {
    return function () {
      var n = arguments.length, a = [];
      for (var i = 0; i < n && i < MAX_ARGS; i++) a.push(describe(arguments[i]));
      try { post({ m: name, n: n, t: isTop, a: a }); } catch (e) { }
    };
  }
  var external = {};
  ['Invoke_Client', 'getNewMsg', 'getGsName', 'BeforeNavigate2', 'DocumentComplete'].forEach(function (name) {
    Object.defineProperty(external, name, { value: method(name), enumerable: true });
  });
  Object.freeze(external);
  try {
    Object.defineProperty(window, 'external', { value: external, configurable: false, writable: false });
  } catch (e) { }
})();
)JS";

const char kContentLoadedScript[] = R"JS(
(function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.torvaneExternal;
  if (!handler) return;
  var post = handler.postMessage.bind(handler);
  document.addEventListener('DOMContentLoaded', function () {
    try { post({ m: 'DOMContentLoaded', n: 0, t: true, a: [] }); } catch (e) { }
  }, { once: true });
})();
)JS";

const char kNoScrollBarsStyle[] =
    "html { scrollbar-width: none !important; }\n"
    "::-webkit-scrollbar { display: none !important; width: 0 !important; height: 0 !important; }\n";

}  // namespace web
