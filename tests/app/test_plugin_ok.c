int tavrona_test_plugin_marker(void) { return 42; }
