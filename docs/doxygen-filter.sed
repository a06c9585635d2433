# Doxygen input filter: the headers' plain // comments become documentation, line for line (no
# line is added or removed, so warnings point at the right line of the header).
# The file's opening comment, "// Name.h - what it is for", describes the file.
1s#^// *\([A-Za-z0-9_]*\.h\) *- *#/// @file \1 #
1,/^[^/]/s#^//\( \|$\)#///\1#
# Ruler lines between groups of declarations stay plain comments.
/^[[:space:]]*\/\/ *----/b
# A comment on lines of its own documents what follows it.
s#^\([[:space:]]*\)//\( \|$\)#\1///\2#
# A comment after a declaration documents that declaration.
s#^\([[:space:]]*[^[:space:]/].*[^[:space:]]\)[[:space:]][[:space:]]*// #\1 ///< #
