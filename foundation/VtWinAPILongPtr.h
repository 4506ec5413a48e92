// VtWinAPILongPtr: takes away the headers' ...LongPtr name macros, so that the system function table's
// own entries for those names can be written directly. No include guard: included again after each
// place that brings the macros back. Stands on nothing.
#undef GetWindowLongPtrA
#undef GetWindowLongPtrW
#undef SetWindowLongPtrA
#undef SetWindowLongPtrW
#undef SetClassLongPtrA
#undef SetClassLongPtrW
