#pragma once
// Puts the English wording in force for the filter's texts and the switch
// library's texts. Its start-up runs right after both text modules started.
void StartupQuilletEnglishConstants();
void ShutdownQuilletEnglishConstants();
