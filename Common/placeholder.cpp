void qvcore_placeholder() {}
