#pragma once

// Names and addresses that belong to the product rather than to the code.
namespace ProductConfig {

inline constexpr char ProductName[] = "Tarnwick";
inline constexpr char SupportEmail[] = "support@brantwell.example";
inline constexpr char HomePage[] = "https://www.brantwell.example/";
inline constexpr char OfficeDownloadPage[] = "https://www.libreoffice.org/download/download/";

// Where the settings live: application name and section.
inline constexpr char SettingsApplication[] = "Brantwell";
inline constexpr char SettingsSection[] = "Tarnwick";

// The error report names the handler that failed with these prefixes.
inline constexpr char FormLocation[] = "in Pellmark2021/08/31.Form1.";
inline constexpr char FolderWalkLocation[] = "in VantryTitle2021/08/31.AddFolder.GetSubDirectories2016 ";

} // namespace ProductConfig
