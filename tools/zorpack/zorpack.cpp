int wmain() { return 2; }
