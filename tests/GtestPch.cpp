// The anchor of the GoogleTest suites' precompiled header: it holds nothing of its own.
