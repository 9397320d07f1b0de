#pragma once
// What an upload would change on the server: the broker's rows there against the rows a file
// would send, security by security.

#include "hostservice.h"

#include <cstddef>
#include <string>
#include <vector>

namespace DVK {

struct SecurityChange
{
    enum class Kind
    {
        Added,   // in the file, not on the server
        Removed, // on the server, not in the file: gone once the upload lands
        Changed, // on both, with another ratio or name
    };

    Kind kind = Kind::Changed;
    const rqservice::CStkSubjects* before = nullptr; // the server's row; null for an addition
    const rqservice::CStkSubjects* after = nullptr;  // the file's row; null for a removal
    // How much collateral value moves: |new - old| for a change (0 when only the name differs),
    // the old ratio for a removal, the new one for an addition; infinite when a ratio is no number.
    double size = 0.0;
    bool warning = false; // a removal, or a ratio that moves by more than the limit

    const rqservice::CStkSubjects& row() const { return after ? *after : *before; }
    double oldRatio() const { return before ? before->ratio : 0.0; }
    double newRatio() const { return after ? after->ratio : 0.0; }
    bool nameChanged() const { return before && after && before->stockName != after->stockName; }
};

struct UploadChanges
{
    std::vector<SecurityChange> removed; // in listedBefore order, then in the server's line order
    std::vector<SecurityChange> changed; // in listedBefore order, then in file order
    std::vector<SecurityChange> added;   // in file order
    std::size_t unchanged = 0;

    std::size_t warnings() const;
};

// Matches rows by exchange name and security code. The service stores every line of an upload,
// duplicates included, in line order, so the n-th row of a security in the file meets its n-th
// row on the server; what is left over on either side is added or removed. Ratios compare
// exactly, names byte for byte. A change is a warning when its ratio moves by more than
// maxChange (a decimal difference counts as written: 0.8 to 0.7 moves by 0.1, not by
// 0.10000000000000009); every removal is one. Null rows are skipped. Time and memory are
// linear in the rows, but for the sorting of what changed. The changes point into the rows:
// keep both lists while the changes are in use.
UploadChanges compareUpload(const std::vector<rqservice::CStkSubjectsPtr>& server,
                            const std::vector<rqservice::CStkSubjectsPtr>& file, double maxChange);

// The order in which removals and changes are read: the largest size first, and a removal
// before a change of the same size.
bool listedBefore(const SecurityChange& a, const SecurityChange& b);

} // namespace DVK
