#pragma once

// A host row array holding fake rows (not owned).

#include "datarow.h"
#include "tests/support/fakeunknown.h"

#include <vector>

class FakeRow;

class FakeRowArray : public FakeUnknown<Data::IRowArray>
{
public:
    void append(FakeRow* row) { m_rows.push_back(row); }

    int count() override { return static_cast<int>(m_rows.size()); }
    void first(Data::IRowPtr& out) override;

private:
    std::vector<FakeRow*> m_rows;
};
