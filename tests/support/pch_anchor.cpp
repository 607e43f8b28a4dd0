// The test programs' precompiled header is built with this program's flags;
// it tests nothing (its main is gtest's).
