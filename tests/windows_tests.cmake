# Windows-only tests
