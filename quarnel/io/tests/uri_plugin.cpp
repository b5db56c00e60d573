// A plug-in the URI tests load by path and look a function up in.
extern "C" __attribute__((visibility("default"))) int quarnel_uri_plugin_answer() { return 42; }
