#pragma once
#include <string>

#include "station/file_entry.h"

// The Advanced options: which file-table slots the image transfer sends. One row per slot:
// rows 0 to 2 can be changed, row 3 (section "INFO") only shows its flag, row 4 is hidden.
// The dialog's boxes are a working copy of m_nChecks: OnInitDialog fills them, OnOK takes them
// back; a dialog that ends any other way leaves m_nChecks as it was.
//
// The main window's OnSet:
//     CSet dlg;
//     dlg.PrepareFromFiles(m_Files);
//     if (view.RunAdvanced(dlg)) dlg.ApplyToFiles(m_Files);
// and the view's RunAdvanced: dlg.OnInitDialog(); show GetRow(0..4); SetBox() on each click;
// on OK call dlg.OnOK() and return true; on Cancel or close return false.
class CSet {
public:
    static constexpr int ROWS = FILE_TABLE_SLOTS;
    static constexpr int FIXED_ROW = 3;    // shown, not changeable
    static constexpr int HIDDEN_ROW = 4;   // neither shown nor changeable
    static constexpr const char* TITLE = "高级";

    struct RowInfo {
        std::string strName;  // text beside the box
        bool bChecked;        // current state of the box
        bool bEnabled;        // the operator may change it
        bool bVisible;
    };

    CSet();

    // Texts and flags from the file table: names of slots 0 to 3 (name 4 stays empty), checks of
    // all five slots. pFiles holds FILE_TABLE_SLOTS entries.
    void PrepareFromFiles(const FileEntry* pFiles);
    // Writes the five checks back as selection flags, narrowed to 8 bits.
    void ApplyToFiles(FileEntry* pFiles) const;
    // Why there is no file table (e.g. "配置文件缺失: <path>"): the dialog shows this line instead
    // of the rows, which are then hidden and cannot be changed. Empty: the rows as usual.
    void SetProblem(const std::string& strProblem) { m_strProblem = strProblem; }
    const std::string& Problem() const { return m_strProblem; }

    // Start of the dialog: each box gets its value from m_nChecks.
    void OnInitDialog();
    RowInfo GetRow(int nRow) const;
    // The operator clicks a box. Refused (false) for a row that is disabled, hidden or out of range.
    bool SetBox(int nRow, bool bChecked);
    // OK: the boxes' states go into m_nChecks. Cancel needs no call.
    void OnOK();

    std::string m_strNames[ROWS];
    int m_nChecks[ROWS];

private:
    int m_nBoxes[ROWS];
    std::string m_strProblem;
};
