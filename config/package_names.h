// The names an update package is made of, in one place for the program,
// ovpack and the C++ tools: the files beside RIZezuvu.exe in the package
// folder, and the elements and attributes of OVConfig.xml. (The message
// table's keys are in config/message_keys.h.) Pure data.
#pragma once

// The package's files. Windows finds each whatever its case; ovpack does
// the same (FindPackageFile).
constexpr char kConfigFileName[] = "OVConfig.xml";
constexpr char kManifestFileName[] = "OVManifest.txt";  // a sealed package's (package_seal.h)
constexpr char kProgramFileName[] = "RIZezuvu.exe";
// The program's debug information, beside it in a build; no File names it.
constexpr char kProgramDebugFileName[] = "RIZezuvu.exe.debug";

// OVConfig.xml's elements, compared without regard to ASCII case
// (ElementNamed in config/config_document.h). The root's name is not
// checked.
namespace config_element {
constexpr char kVersion[] = "Version";    // its min and max: the versions updated
constexpr char kMessages[] = "Messages";  // holds Message elements
constexpr char kMessage[] = "Message";    // every attribute a text of the table
constexpr char kUpgrade[] = "Upgrade";    // holds Product entries
constexpr char kProduct[] = "Product";    // an entry, for the product id in its id
constexpr char kFile[] = "File";          // one copy, inside a group of an entry
}  // namespace config_element

// Their attributes, compared exactly.
namespace config_attribute {
constexpr char kMin[] = "min";
constexpr char kMax[] = "max";
constexpr char kId[] = "id";
constexpr char kDir[] = "dir";    // a group's folder, under the installation folder
constexpr char kName[] = "name";  // a File's source, under the package folder
}  // namespace config_attribute

// A Product entry for this id applies to every installation.
constexpr char kDefaultProductId[] = "000000";

// A group element (any name is a group) of this name first moves the
// firmware images out of the installation folder (install/install_plan.h).
constexpr char kFirmwareGroupName[] = "Firmware";
