// The two header lines of every answer that keep a browser from running it: a browser sent to
// the gateway shows an answer as an inert sandboxed document, never as a page that runs script,
// and never guesses another content type for it. A macro, so that the formats of the header
// blocks can hold it as part of one literal.
#pragma once

#define XG_BROWSER_SAFETY_HEADERS \
  "Content-Security-Policy: sandbox\r\nX-Content-Type-Options: nosniff\r\n"
