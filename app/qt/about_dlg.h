#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// The About box: the icon, "Tovar Version 1.0" and an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

    QLabel* VersionLabel() const { return m_pVersion; }
    QPushButton* OkButton() const { return m_pOk; }

private:
    QLabel* m_pVersion = nullptr;
    QPushButton* m_pOk = nullptr;
};
