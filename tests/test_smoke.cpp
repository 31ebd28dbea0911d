#include "support/test_env.h"
#include "shell/app.h"
TEST_F(QuibletTest, Starts) { EXPECT_NE(hMainDialog, (HWND)NULL); }
