#pragma once
#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

// The About box: the icon, "Tovar Version 1.0" with the build's version and commit under it, and
// an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(const std::string& strBuild = {}, QWidget* pParent = nullptr);

    QLabel* VersionLabel() const { return m_pVersion; }
    QLabel* BuildLabel() const { return m_pBuild; }
    QPushButton* OkButton() const { return m_pOk; }

private:
    QLabel* m_pVersion = nullptr;
    QLabel* m_pBuild = nullptr;
    QPushButton* m_pOk = nullptr;
};
