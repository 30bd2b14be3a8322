// The widget layer arrives with the ticker; an empty unit keeps the library target valid.
