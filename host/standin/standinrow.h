#pragma once
// A row for the stand-in's own tables (the demo's gallery, tests, benchmarks): the record
// operations answered as a plain text row answers them, so such a row names only what it shows.
// The client's row base declares them without answers; a plug-in's row answers each itself.
// Defined in toolkit/table/standinrow.cpp.

#include "hosttoolkit.h"

namespace standin {

class HOST_EXPORT CPlainRow : public WB::IBaseHpfTableData
{
public:
    QString getTextFromAll(int column) override;     // getText(column)
    QString getText(int column) override;            // empty
    int getInt(int column) override;                 // the largest int
    double getDouble(int column) override;           // the largest finite double
    long long getLonglong(int column) override;      // the largest long long
    const QColor* getTextColor(int column) override; // "cle_default"
    std::string getKey() override;                   // empty
};

} // namespace standin
