// The about box: "バージョン情報 Tavrona" with the program icon, the version line and OK.
#pragma once

class QWidget;
class QDialog;

namespace tavrona {

// Builds the about box (not shown); the caller owns it.
QDialog* MakeAboutBox(QWidget* parent);
// Shows it modally.
void ShowAboutBox(QWidget* parent);

}  // namespace tavrona
