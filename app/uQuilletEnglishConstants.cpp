#include "app/uQuilletEnglishConstants.h"

#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "app/uQuilletConstants.h"

void StartupQuilletEnglishConstants() {
  using namespace uQuilletConstants;
  SDateFormatUnknown = "The format of date is unknown!";
  SDateOperatorNotValid = "The date operator is not guilty!";
  SInputMissing = "The file for reading the comments has to be declared! (Use switch INPUT)";
  SOutputMissing = "The file for storing the CVS comments has to be declared! (Use switch OUTPUT)";
  SPersonMissing = "The person has to be declared! (Use switch PERSON)";
  SDateMissing = "The date has to be declared! (Use switch DATE)";
  SDateOptionHint =
      ".gt (greater than), .ge (greater equal), .eq (equal), .lt (less then), .le (less equal)";
  SDateDescription =
      "This switch manages, for which date the comments have to be filtrated. Specification of this "
      "switch can also be relative.\r\n"
      "                                For example: /date=.eq-7";
  SPersonDefault = SAuthorDefault = SInputDefault = SOutputDefault = "no default value";
  SPersonDescription = "This switch shows in output file, which person has started Quillet.";
  SAuthorDescription =
      "This switch contains the name of author, for which the comments have to be filtrated.";
  SInputDescription = "This switch gets the name for filtering file.";
  SOutputDescription = "This switch gets the name of file, where the filtering results will be stored.";
  // The switch library's English texts are put in force here as well.
  SetProgramSwitchEnglishTexts();
}

void ShutdownQuilletEnglishConstants() {}
