// The two web addresses the program knows, on reserved example domains.
#pragma once

namespace snipora {

// The advertisement page the web panel loads once at start-up.
inline constexpr const char* advertisementPageAddress = "http://ads.example.com/info.php?n=snipora";
// The maker's home page, opened by the Website button.
inline constexpr const char* homePageAddress = "http://www.example.org";

} // namespace snipora
