#include "ui/set.h"

#include <cstring>

CSet::CSet() : m_nChecks{}, m_nBoxes{} {}

void CSet::PrepareFromFiles(const FileEntry* pFiles)
{
    for (int k = 0; k < ROWS; ++k)
        m_nChecks[k] = pFiles[k].cSelected;
    for (int k = 0; k < HIDDEN_ROW; ++k)  // the slots loaded from sections
        m_strNames[k].assign(pFiles[k].szName, strnlen(pFiles[k].szName, sizeof(pFiles[k].szName)));
}

void CSet::ApplyToFiles(FileEntry* pFiles) const
{
    for (int k = 0; k < ROWS; ++k)
        StoreSelected(pFiles[k], static_cast<int8_t>(m_nChecks[k]));
}

void CSet::OnInitDialog()
{
    for (int k = 0; k < ROWS; ++k)
        m_nBoxes[k] = m_nChecks[k];
}

CSet::RowInfo CSet::GetRow(int nRow) const
{
    if (nRow < 0 || nRow >= ROWS)
        return {std::string(), false, false, false};
    const bool bTable = m_strProblem.empty();
    return {m_strNames[nRow], m_nBoxes[nRow] != 0, bTable && nRow < FIXED_ROW, bTable && nRow != HIDDEN_ROW};
}

bool CSet::SetBox(int nRow, bool bChecked)
{
    if (nRow < 0 || nRow >= FIXED_ROW || !m_strProblem.empty())
        return false;
    m_nBoxes[nRow] = bChecked ? 1 : 0;
    return true;
}

void CSet::OnOK()
{
    for (int k = 0; k < ROWS; ++k)
        m_nChecks[k] = m_nBoxes[k];
}
