#pragma once
// The start-up question to Word: which file type it writes.

// Asks Word for its version: Word 2007 (12) and later write .docx. The object is released on
// every path and Word is not told to quit: it was only asked a question. Throws the error to show.
bool WordWritesDocx();
