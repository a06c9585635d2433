// QpXmlUnescape.h - turns the five predefined XML entities of a text back into their characters,
// in place. The map container applies it to every value it stores, so values read from an XML
// form come back as the characters the writer meant.
//
// Only "&amp;", "&lt;", "&gt;", "&quot;" and "&apos;" are recognised, tried in that order, in a
// single left-to-right pass: the character an entity produces is never looked at again, so
// "&amp;lt;" becomes "&lt;". An "&" that starts none of them, numeric references such as "&#38;"
// included, is kept as it is. The text never grows, so the rewrite needs no storage.
//
// Threads: reentrant and stateless; any thread may call it on a text that no other thread is
// touching at the same time.
#ifndef QP_XML_UNESCAPE_H
#define QP_XML_UNESCAPE_H

#include "QpTypes.h"

// Rewrites the zero-terminated ioText in place and returns it; a null ioText is returned as is.
QP_EXPORT char* QpXmlUnescape(char* ioText);

#endif  // QP_XML_UNESCAPE_H
