// Programs that the layer tests run as children: the test program itself, started again with the
// variable that names the child's part (main.cpp).
#ifndef LAYER_CHILD_PROGRAMS_H
#define LAYER_CHILD_PROGRAMS_H

// TERMINAL_SCENARIO: a dialog program on the terminal (terminal_test.cpp).
int runTerminalChild(const char *scenario);
// WINDOW_SCRIPT_CHILD: a dialog program driven by WINLAYER_SCRIPT (window_script_test.cpp).
int runScriptedChild();

#endif
