#include "ovpack/sample_package.h"

#include "config/package_names.h"

namespace {

// Line ends are CR LF, as on Windows.
std::string WithCrLf(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') out += '\r';
        out += *p;
    }
    return out;
}

constexpr char kSampleConfig[] = R"(<?xml version='1.0'?>
<!-- OVConfig.xml: what RIZezuvu.exe installs, for which Orvexa versions,
     and every text it shows. Check it with: ovpack check PACKAGE-FOLDER -->
<OVConfig>
  <!-- Installations from min to max (both included) are updated; versions
       have four fields, major.minor.00.build, the third is never compared. -->
  <Version min='1.6.00.1' max='1.6.00.999'/>
  <Messages>
    <!-- updatestart, updatefile and updatecomplete are log lines: each may
         hold one %s (the tool's version, or the file's name). -->
    <Message title='Orvexa Update'
             askuser='Orvexa will now be updated. Continue?'
             status='Updating, please wait...'
             ovrunning='Please close Orvexa and run the update again.'
             ovnotinstalled='Orvexa is not installed on this computer.'
             versionerror='This update does not apply to the installed version.'
             ovinstallsuccess='The update is complete.'
             updatestart='Update tool %s started.'
             updatefile='Updated file %s'
             updatecomplete='Update tool %s finished.'
             downloadcaption='Download Orvexa'
             downloadlink='https://orvexa.example/download'
             helpcaption='Help'
             helplink='https://orvexa.example/help'/>
  </Messages>
  <Upgrade>
    <!-- 000000: every installation gets this entry. -->
    <Product id='000000'>
      <!-- dir: a folder inside the installation folder ('' for itself);
           name: a file inside this package folder. -->
      <Group dir='Skins'>
        <File name='Skins\default.skin'/>
      </Group>
      <Group dir=''>
        <File name='codecs.dat'/>
      </Group>
    </Product>
    <!-- Only installations whose RAZoro.ini says ProductID=123456. A Firmware
         group first moves the installation's old *.bin images away. -->
    <Product id='123456'>
      <Firmware dir=''>
        <File name='Firmware\123456\update.bin'/>
      </Firmware>
    </Product>
  </Upgrade>
</OVConfig>
)";

}  // namespace

std::vector<SampleFile> SamplePackageFiles() {
    return {
        {kConfigFileName, WithCrLf(kSampleConfig)},
        {"Skins/default.skin", "skin 1.6"},
        {"codecs.dat", "codecs 1.6"},
        {"Firmware/123456/update.bin", "firmware 1.6 for 123456"},
    };
}
