// File and folder removal (P and U records): patterns, modes and descent.
#include "actions.h"

void RemoveFilesAction(int recursive) { (void)recursive; }
void RemoveFiles(const char* pattern, int recursive, BYTE mode) { (void)pattern; (void)recursive; (void)mode; }
void RemoveOneFile(const char* path, BYTE mode) { (void)path; (void)mode; }
int SplitExtension(const char* name, char* base, int baseSize, char* extension, int extensionSize) { (void)name; (void)base; (void)baseSize; (void)extension; (void)extensionSize; return -1; }
