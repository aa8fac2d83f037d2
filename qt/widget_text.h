#pragma once
#include <QString>
#include <string>

#include "ui/tovar_view.h"

class QLabel;
class QPushButton;
class QWidget;

// What the windows share: UTF-8 texts, plain labels and buttons, and the verdict banner.
QString FromUtf8(const std::string& str);
std::string ToUtf8(const QString& str);
QLabel* MakeLabel(const QString& strText, QWidget* pParent);
// A label in the placeholder colour, for hints and secondary lines.
QLabel* MakeHint(const QString& strText, QWidget* pParent);
// A button that never becomes the default one, so Enter in an edit does not press it.
QPushButton* MakeButton(const QString& strText, QWidget* pParent);
// A large, bold, centred label for a job's verdict; hidden until ShowVerdictOn shows it.
QLabel* MakeVerdictLabel(QWidget* pParent, double dScale);
// Green for an installed board, red for a failed one, slate grey for a stopped one, amber for a
// refusal or a partial install; None hides it.
void ShowVerdictOn(QLabel* pLabel, VerdictLook look, const std::string& strText);
