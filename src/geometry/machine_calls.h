// The machine path's call graph, derived from the function rows: a name that
// a body calls through the module resolves to its row, and a call of it runs
// that row's body in the same machine domain, with the defaults and the
// argument conversion of the row's binding wrapper, and with the reuse of
// equal calls within one call of the module.
#pragma once

#include "bodies.h"
#include "function_rows.h"
#include "machine_domain.h"

namespace geometry {

// The row of the module's function that a body calls by `name`; a name that
// no row is called by fails the build.
constexpr int called_row(Pool name) {
    for (int index = 0; index < function_count; ++index) {
        if (function_rows[index].called_by_name && function_rows[index].name.entry == name) {
            return index;
        }
    }
    throw "no function of the module is called by this name";
}

template <typename Arithmetic>
template <Pool name>
constexpr auto Machine<Arithmetic>::function(GlobalName<name>) noexcept {
    return Function<called_row(name)>{};
}

// Row `index` called with `count` arguments, the rest taking their defaults.
template <typename Arithmetic>
template <int index>
auto Machine<Arithmetic>::call_row(const Value* given, int count) noexcept -> Value {
    constexpr const FunctionRow& row = function_rows[index];
    if (count < row.required_count || count > row.argument_count) {
        return arithmetic_.decline();
    }
    Value arguments[row.argument_count];
    for (int i = 0; i < row.argument_count; ++i) {
        arguments[i] = i < count ? given[i] : constant(int_constant(row.default_value));
    }
    double number = 0.0;
    if constexpr (row.takes_double) {
        if (arithmetic_.large(arguments[0])) {
            return arithmetic_.decline();
        }
        number = arguments[0].as_double();
    }
    if constexpr (index == TAN_RAD) {
        for (const Memo& memo : tan_rad_memo_) {
            if (memo.filled && memo.argument.same(arguments[0])) {
                return memo.result;
            }
        }
        Memo& memo = tan_rad_memo_[tan_rad_next_];
        tan_rad_next_ ^= 1;
        memo = {true, arguments[0], body<index>(*this, arguments, number)};
        return memo.result;
    } else {
        return body<index>(*this, arguments, number);
    }
}

template <typename Arithmetic>
template <int index, typename... Args>
auto Machine<Arithmetic>::call(Function<index>, const Args&... args) noexcept -> Value {
    if (declined()) {
        return {};
    }
    const Value given[] = {args...};
    return call_row<index>(given, sizeof...(Args));
}

static_assert(NumberDomain<DoublesMachine> && NumberDomain<LargeIntMachine>);

}  // namespace geometry
