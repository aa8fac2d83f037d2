#pragma once
#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

// Asks for the engineer's PIN: a prompt, a field that does not show what is typed, OK and Cancel.
class CPinDialog : public QDialog {
    Q_OBJECT
public:
    CPinDialog(const std::string& strPrompt, QWidget* pParent = nullptr);

    std::string Pin() const;
    QLineEdit* PinEdit() const { return m_pEdit; }
    QPushButton* OkButton() const { return m_pOk; }

private:
    QLineEdit* m_pEdit = nullptr;
    QPushButton* m_pOk = nullptr;
};
