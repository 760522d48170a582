#include "app/about_dialog.h"
#include "res/texts.h"

std::string AboutText() {
  const std::string br = "\r\n";
  return std::string(texts::kTitle) + " " + texts::kVersion + br + br + texts::kAboutPurpose + br +
         br + texts::kAboutRights + br + texts::kAboutLicence + br + br + texts::kAboutContact +
         br + br + texts::kAboutCredit;
}
