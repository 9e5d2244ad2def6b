// A library part's parameter list as read from the host, owned until it is written back,
// and the bounded reading of parameter names, texts and "KDPC_HNDL" cells.
#pragma once

#include "ACAPI.hpp"
#include "ParameterText.hpp"

#include <functional>
#include <optional>
#include <string>

namespace Cloud {

class ParamList {
public:
    ParamList() = default;
    ~ParamList();
    ParamList(const ParamList&) = delete;
    ParamList& operator=(const ParamList&) = delete;

    // False when the part's details or parameters cannot be read.
    bool Read(int libPartIndex);
    enum class WriteResult { Done, BuildFailed, StoreFailed };
    WriteResult WriteBack(int libPartIndex);

    int32_t Count() const { return count_; }
    API_AddParType& operator[](int32_t i) { return (*params_)[i]; }
    API_AddParType**& Handle() { return params_; }
    int32_t& CountRef() { return count_; }
    // Position of the last record of that name (case-insensitive), or -1.
    int32_t Find(const char* name) const;
    // `n` fresh records at `pos`; the records from `pos` on move up. Index fields follow.
    bool Insert(int32_t pos, int32_t n);

private:
    API_AddParType** params_ = nullptr;
    int32_t count_ = 0;
    API_LibPartDetails details_ {};
};

// The cells of an array parameter that really exist: never more than its dimensions
// promise and its handle holds.
class CellTable {
public:
    explicit CellTable(API_AddParType& param);
    int32_t Rows() const { return rows_; }
    int32_t Columns() const { return columns_; }
    bool Has(int32_t row, int32_t column) const { return row >= 0 && row < rows_ && column >= 0 && column < columns_; }
    double& Cell(int32_t row, int32_t column) { return cells_[static_cast<size_t>(row) * columns_ + column]; }

private:
    double* cells_ = nullptr;
    int32_t rows_ = 0;
    int32_t columns_ = 0;
};

// The cloud id a "KDPC_HNDL" cell holds, cut toward zero; none when the cell holds no number
// within the range of int, which no attached cloud can have.
std::optional<int> CloudIdOf(double cell);

// Element type of the placed instances of a part of that library-part type.
API_ElemTypeID ElementTypeOf(API_LibTypeID libType);
// Runs `command` as one undoable step of that name, in the way the host version offers; a step
// the host refuses runs nothing and answers its error.
GSErrCode RunUndoable(const char* name, const std::function<GSErrCode()>& command);
// What becomes of one placed instance's changed list: written back, left as it was, or left
// as it was together with every instance after it.
enum class InstanceChange { Write, Skip, Stop };
// Runs `change` on the parameter list of every placed instance of the part; reads each whole
// memo with the host's mask and writes back its parameters. With `ownStepName` each write is
// an undoable step of its own; otherwise the caller's step holds them all.
void ForEachInstance(int libPartIndex, const std::function<InstanceChange(API_AddParType**&, int32_t&)>& change,
                     const char* ownStepName = nullptr);

}  // namespace Cloud
