#pragma once

// A list of channel member rows, as the member-row change notification carries it. Counted;
// deletes itself on its last release.

#include "datarow.h"

#include <vector>

class HostRowArray final : public Data::IRowArray
{
public:
    static Data::IRowArrayPtr create(std::vector<Data::IRowPtr> rows);

    unsigned long addRef() override;
    unsigned long release() override;
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    int count() override { return static_cast<int>(m_rows.size()); }
    void first(Data::IRowPtr& out) override;

private:
    explicit HostRowArray(std::vector<Data::IRowPtr> rows) : m_rows(std::move(rows)) {}
    ~HostRowArray() = default;

    std::vector<Data::IRowPtr> m_rows;
    unsigned long m_refs = 0;
};
