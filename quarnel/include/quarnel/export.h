// The mark of Quarnel's interface. Everything in the library is hidden by
// default; QUARNEL_API gives a class or free function default visibility so
// that it is exported (exports.map then keeps it global). Clients see the
// same default visibility: a client that refers to the type information of
// an exported class (a catch clause, a dynamic_cast) must not see it as
// hidden, or the reference would not link.
#pragma once

#define QUARNEL_API __attribute__((visibility("default")))
