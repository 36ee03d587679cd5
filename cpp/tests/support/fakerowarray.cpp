#include "tests/support/fakerowarray.h"

#include "tests/support/fakerow.h"

void FakeRowArray::first(Data::IRowPtr& out)
{
    out = m_rows.empty() ? Data::IRowPtr() : Data::IRowPtr(m_rows.front());
}
