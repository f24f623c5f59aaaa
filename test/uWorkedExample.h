#pragma once
// The worked example's log, shared by the engine's tests and the end-to-end
// tests: a file changed by dev1 and before by dev2, a file that went to the
// Attic, and a file added by dev1.

inline constexpr char WorkedExampleLog[] =
    "RCS file: /cvsroot/proj/src/main.c,v\n"
    "Working file: src/main.c\n"
    "head: 1.3\n"
    "description:\n"
    "----------------------------\n"
    "revision 1.3\n"
    "date: 2003/05/12 10:11:12;  author: dev1;  state: Exp;  lines: +2 -1\n"
    "Fixed the parser.\n"
    "----------------------------\n"
    "revision 1.2\n"
    "date: 2003/05/02 09:00:00;  author: dev2;  state: Exp;  lines: +5 -0\n"
    "Added options.\n"
    "=============================================================================\n"
    "\n"
    "RCS file: /cvsroot/proj/src/Attic/old.c,v\n"
    "description:\n"
    "----------------------------\n"
    "revision 1.4\n"
    "date: 2003/05/11 08:00:00;  author: dev1;  state: dead;  lines: +0 -0\n"
    "Removed.\n"
    "=============================================================================\n"
    "\n"
    "RCS file: /cvsroot/proj/src/util.c,v\n"
    "description:\n"
    "----------------------------\n"
    "revision 1.1\n"
    "date: 2003/05/11 08:00:00;  author: dev1;  state: Exp;\n"
    "Initial revision\n"
    "=============================================================================\n";
