#pragma once
#include <string>

// A record URL as texts may show it: the password of "postgresql://user:pw@host/db" and of
// "?password=pw" replaced by "***". Anything that is no URL comes back as it is.
std::string RedactedUrl(const std::string& strUrl);

// strText (a message that may quote the URL or parts of it) with every password of strUrl, as
// written, percent-decoded, and each piece of it between '/', ':', '@', '?', '&' and '=', replaced
// by "***".
std::string WithoutSecrets(const std::string& strText, const std::string& strUrl);
