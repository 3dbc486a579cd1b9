/* bench_client_views: what the game's second web view costs when it shares
 * the first view's web process and when it has its own. One window with a
 * view of the first page (680x370); once that page has loaded it prints
 * "home-loaded <ms>" and waits for a line "open" on stdin; then a second
 * window (1246x656) with a view of the second page, made with
 * webkit_web_view_new_with_related_view (--related: the same web process) or
 * as a view of the same context (its own web process), and prints
 * "game-loaded <ms from the second view's creation>" when that page has
 * loaded. Runs until killed. Both views share one ephemeral context, as the
 * client's share one context. Single-threaded (GTK's). */
#include <gtk/gtk.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <webkit2/webkit2.h>

typedef struct {
  WebKitWebContext* context;
  WebKitWebView* home;
  const char* gameUrl;
  gboolean related;
  double openedMs;
  gboolean opened;
} Views;

static double NowMs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static GtkWidget* NewWindow(const char* title, int width, int height, GtkWidget* view) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title);
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  return window;
}

static void OnGameLoad(WebKitWebView* view, WebKitLoadEvent event, Views* v) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  printf("game-loaded %.1f\n", NowMs() - v->openedMs);
  fflush(stdout);
}

static gboolean OnStdin(GIOChannel* channel, GIOCondition condition, Views* v) {
  gchar* line = NULL;
  if (g_io_channel_read_line(channel, &line, NULL, NULL, NULL) != G_IO_STATUS_NORMAL) {
    g_free(line);
    return G_SOURCE_REMOVE;
  }
  if (!v->opened && strncmp(line, "open", 4) == 0) {
    v->opened = TRUE;
    v->openedMs = NowMs();
    WebKitWebView* game =
        v->related ? WEBKIT_WEB_VIEW(webkit_web_view_new_with_related_view(v->home))
                   : WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", v->context, NULL));
    g_signal_connect(game, "load-changed", G_CALLBACK(OnGameLoad), v);
    webkit_web_view_load_uri(game, v->gameUrl);
    NewWindow("game", 1246, 656, GTK_WIDGET(game));
  }
  g_free(line);
  return G_SOURCE_CONTINUE;
}

static void OnHomeLoad(WebKitWebView* view, WebKitLoadEvent event, Views* v) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  printf("home-loaded %.1f\n", NowMs());
  fflush(stdout);
}

int main(int argc, char** argv) {
  Views v = {0};
  int first = 1;
  if (argc > 1 && strcmp(argv[1], "--related") == 0) v.related = TRUE, first = 2;
  if (argc != first + 2) {
    fprintf(stderr, "usage: bench_client_views [--related] FIRST_URL SECOND_URL\n");
    return 2;
  }
  gtk_init(&argc, &argv);
  v.gameUrl = argv[first + 1];
  v.context = webkit_web_context_new_ephemeral();
  v.home = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", v.context, NULL));
  g_signal_connect(v.home, "load-changed", G_CALLBACK(OnHomeLoad), &v);
  webkit_web_view_load_uri(v.home, argv[first]);
  NewWindow("home", 680, 370, GTK_WIDGET(v.home));
  GIOChannel* in = g_io_channel_unix_new(0);
  g_io_add_watch(in, G_IO_IN | G_IO_HUP, (GIOFunc)OnStdin, &v);
  gtk_main();
  return 0;
}
