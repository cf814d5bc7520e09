#pragma once

#include <QString>

#include <utility>
#include <variant>

// Why a value could not be had, in the words the operator reads.
struct Failure
{
    QString message;
};

// A value, or the reason it was refused: never both, never neither.
template <typename T>
class Result
{
public:
    Result(T value)
        : m_outcome(std::in_place_index<0>, std::move(value))
    {
    }

    Result(Failure failure)
        : m_outcome(std::in_place_index<1>, std::move(failure.message))
    {
    }

    bool ok() const { return m_outcome.index() == 0; }

    // Only for a result that is ok().
    const T &value() const { return std::get<0>(m_outcome); }

    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

    // Empty for a result that is ok().
    QString error() const { return ok() ? QString() : std::get<1>(m_outcome); }

private:
    std::variant<T, QString> m_outcome;
};
