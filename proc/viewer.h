// Running a child program while the main dialog waits hidden, and the document viewer built on it.
#ifndef DA12_PROC_VIEWER_H
#define DA12_PROC_VIEWER_H

#include <windows.h>

// Starts the program and waits for its end, with `window` hidden meanwhile. Returns the child's
// exit code, or -1 when it could not start or its exit code cannot be read.
int runAndWait(const char *workingDirectory, const char *programPath, char *commandLine, HWND window);

// Shows a document of the source directory in Notepad.
void viewDocument(const char *documentName);

#endif
