/* bench_bare_webkit: the least a WebKitGTK program does to show one page, the
 * floor the client is measured against. One GtkWindow, one WebKitWebView with
 * an ephemeral data store, the page given on the command line. It prints, each
 * on its own line on stdout, with milliseconds since the process started:
 *
 *   first-frame <ms>        the window's first draw (GTK "draw", after handlers)
 *   load-committed <ms>     WEBKIT_LOAD_COMMITTED of the top-level page
 *   domcontentloaded <ms>   the page's DOMContentLoaded, reported by a user
 *                           script through a script message handler
 *   load-finished <ms>      WEBKIT_LOAD_FINISHED
 *   load-failed <ms> <why>  instead of the last two when the page fails
 *
 * and then runs until killed, or exits (0, or 1 after a failure) once the
 * first frame, DOMContentLoaded and the end of the load were seen when given
 * --exit-after-load. The process start is its start time in /proc/self/stat,
 * which the kernel keeps in clock ticks (1/100 s). Single-threaded (GTK's). */
#include <errno.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

typedef struct {
  double startMs; /* process start on the CLOCK_BOOTTIME scale */
  gboolean exitAfterLoad;
  gboolean drawn, contentLoaded, loadEnded, failed;
} Bench;

static double BootTimeMs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

/* Field 22 of /proc/self/stat, after the command name in parentheses (which
 * may itself hold spaces and parentheses). */
static double ProcessStartMs(void) {
  char buf[1024];
  FILE* f = fopen("/proc/self/stat", "r");
  size_t n = f ? fread(buf, 1, sizeof buf - 1, f) : 0;
  if (f) fclose(f);
  buf[n] = '\0';
  char* p = strrchr(buf, ')');
  long ticksPerSec = sysconf(_SC_CLK_TCK);
  if (!p || ticksPerSec <= 0) return BootTimeMs();
  p += 2; /* now at field 3 */
  for (int field = 3; field < 22 && *p; ++field) {
    p = strchr(p, ' ');
    if (!p) return BootTimeMs();
    ++p;
  }
  errno = 0;
  unsigned long long ticks = strtoull(p, NULL, 10);
  return errno ? BootTimeMs() : ticks * 1000.0 / ticksPerSec;
}

static void Report(Bench* b, const char* what, const char* detail) {
  printf("%s %.1f%s%s\n", what, BootTimeMs() - b->startMs, detail ? " " : "", detail ? detail : "");
  fflush(stdout);
  if (b->exitAfterLoad && b->drawn && b->loadEnded && (b->contentLoaded || b->failed))
    exit(b->failed ? 1 : 0);
}

static gboolean OnDraw(GtkWidget* window, cairo_t* cr, Bench* b) {
  if (!b->drawn) {
    b->drawn = TRUE;
    g_signal_handlers_disconnect_by_func(window, OnDraw, b);
    Report(b, "first-frame", NULL);
  }
  return FALSE;
}

static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, Bench* b) {
  if (event == WEBKIT_LOAD_COMMITTED) {
    Report(b, "load-committed", NULL);
  } else if (event == WEBKIT_LOAD_FINISHED && !b->failed) {
    b->loadEnded = TRUE;
    Report(b, "load-finished", NULL);
  }
}

static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, const char* uri, GError* error, Bench* b) {
  b->failed = TRUE;
  b->loadEnded = TRUE;
  Report(b, "load-failed", error ? error->message : "unknown error");
  return FALSE;
}

static void OnContentLoaded(WebKitUserContentManager* content, WebKitJavascriptResult* result, Bench* b) {
  if (b->contentLoaded) return;
  b->contentLoaded = TRUE;
  Report(b, "domcontentloaded", NULL);
}

static const char kContentLoadedScript[] =
    "document.addEventListener('DOMContentLoaded', function () {"
    "  window.webkit.messageHandlers.benchContentLoaded.postMessage(0);"
    "}, { once: true });";

static int Usage(void) {
  fprintf(stderr, "usage: bench_bare_webkit [--size WxH] [--exit-after-load] URL\n");
  return 2;
}

int main(int argc, char** argv) {
  Bench bench = {.startMs = ProcessStartMs()};
  int width = 680, height = 370; /* the launcher's page */
  const char* url = NULL;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      char tail;
      if (sscanf(argv[++i], "%dx%d%c", &width, &height, &tail) != 2 || width <= 0 || height <= 0) return Usage();
    } else if (strcmp(argv[i], "--exit-after-load") == 0) {
      bench.exitAfterLoad = TRUE;
    } else if (argv[i][0] != '-' && !url) {
      url = argv[i];
    } else {
      return Usage();
    }
  }
  if (!url) return Usage();
  gtk_init(&argc, &argv);

  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  webkit_user_content_manager_add_script(
      content, webkit_user_script_new(kContentLoadedScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, NULL, NULL));
  g_signal_connect(content, "script-message-received::benchContentLoaded", G_CALLBACK(OnContentLoaded), &bench);
  webkit_user_content_manager_register_script_message_handler(content, "benchContentLoaded");

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "bench_bare_webkit");
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  gtk_window_move(GTK_WINDOW(window), 0, 0);
  GtkWidget* view = GTK_WIDGET(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", content, NULL));
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  g_signal_connect_after(window, "draw", G_CALLBACK(OnDraw), &bench);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), &bench);
  g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), &bench);

  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), url);
  gtk_widget_show_all(window);
  gtk_main();
  return bench.failed ? 1 : 0;
}
