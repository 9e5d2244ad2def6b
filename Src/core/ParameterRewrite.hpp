// The rewrite of parameter lists from the service's entries: a library part's own list,
// with the block of Kordela parameters that follows its product URL, and a placed element's
// copy of it.
#pragma once

#include "BM.hpp"
#include "ParameterText.hpp"
#include "UpdateData.hpp"

#include <array>
#include <functional>
#include <string>
#include <vector>

// Told once per entry of a type that has no rule, with that type.
using UnknownTypeReport = std::function<void(const std::string& type)>;

// Fills one record; the fields it does not name stay as they were.
void AddParameter(API_AddParType* record, short index, API_AddParID type, unsigned short flags, const char* name,
                  const char* description, double value, const char* textValue, bool utf8);

// The array cells of the records a rewrite took out of a list, not yet released.
using DroppedCells = std::vector<GSHandle>;

// Drops the parameters the service calls obsolete, then either refreshes the parameters in
// place (nothing missing) or rebuilds the block after the product URL. Every record keeps
// its position as its index. The cells of the records that leave the list are answered, not
// released: the list the records were copied from still holds them until the rewritten list
// takes its place, so the caller releases them then, and only then.
DroppedCells RewriteLibPartParameters(std::vector<API_AddParType>& params, const UpdateEntries& entries,
                                      const UnknownTypeReport& report);

// One product's entries made ready for the many placed elements that take them: their names
// found as the host compares names, their texts converted and their numbers read once.
class PreparedEntries {
public:
    explicit PreparedEntries(const UpdateEntries& entries);

    enum class Kind { String, Real, Integer, Other };
    struct Entry {
        Kind kind = Kind::Other;
        std::u16string description;
        std::u16string valueText;
        double real = 0;
        int whole = 0;
        unsigned short flags = 0;
        const std::string* type = nullptr;
    };
    const std::vector<Entry>& Entries() const { return entries_; }
    // The entries that bear the name, in answer order; null when none.
    const std::vector<uint32_t>* Named(const char* name) const { return names_.Find(name); }
    // For each record of the list, the entries that bear its name (null when none). The
    // elements of one product mostly hold lists named alike: the answer for the last list is
    // kept and given again while the name fields are the same byte for byte.
    const std::vector<const std::vector<uint32_t>*>& NamedRecords(const API_AddParType* params, size_t count) const;

private:
    std::vector<Entry> entries_;
    NameIndex names_;
    mutable std::vector<std::array<char, API_NameLen>> lastNames_;
    mutable std::vector<const std::vector<uint32_t>*> lastNamed_;
};

// Carries descriptions, values and flags into every record of a placed element's list that
// an entry names; types and positions stay. Entries apply in answer order, and a type
// without a rule is told once per record it names, in answer order.
void UpdateInstanceParameters(API_AddParType* params, size_t count, const UpdateEntries& entries,
                              const UnknownTypeReport& report);
void UpdateInstanceParameters(API_AddParType* params, size_t count, const PreparedEntries& entries,
                              const UnknownTypeReport& report);
