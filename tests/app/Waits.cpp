// The anchor of the suites' precompiled header: it holds nothing of its own.
