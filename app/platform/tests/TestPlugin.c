/* A tiny library for the loader test. */
__attribute__((visibility("default"))) int lumatrace_test_plugin_answer(void) {
    return 42;
}
