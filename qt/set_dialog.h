#pragma once
#include <QDialog>

#include "ui/set.h"

class QCheckBox;
class QLabel;
class QPushButton;

// The Advanced dialog: one row per file-table slot (check box and file name) on the CSet model,
// with OK and Cancel. The model decides which rows are shown and which can be changed; without a
// file table it names the problem instead.
class CSetDialog : public QDialog {
    Q_OBJECT
public:
    CSetDialog(CSet& model, QWidget* pParent = nullptr);

    QCheckBox* CheckBox(int nRow) const { return m_pBoxes[nRow]; }
    QLabel* NameLabel(int nRow) const { return m_pNames[nRow]; }
    QLabel* ProblemLabel() const { return m_pProblem; }   // null when the file table was read
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

    void accept() override;

private:
    CSet& m_Model;
    QCheckBox* m_pBoxes[CSet::ROWS] = {};
    QLabel* m_pNames[CSet::ROWS] = {};
    QLabel* m_pProblem = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
};
