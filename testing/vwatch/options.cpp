// The virtual watch daemon's command line.
#include "testing/daemon/daemon_support.h"
#include "testing/vwatch/options.h"

#include <charconv>

#include "testing/vwatch/control.h"

namespace tvsp::vwatch {

using daemon::ParseNumber;

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
    Options o;
    auto fail = [error](std::string text) -> std::optional<Options> {
        if (error) *error = std::move(text);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--no-plug") {
            o.plug = false;
            continue;
        }
        const bool takesValue = name == "--prefix" || name == "--rig-exe" || name == "--wine64" ||
                                name == "--control-port" || name == "--ready-file" || name == "--com" ||
                                name == "--version" || name == "--imei" || name == "--echo" ||
                                name == "--on-reboot" || name == "--download-com" || name == "--download-delay" ||
                                name == "--new-version" || name == "--after-restart";
        if (!takesValue) return fail("unknown option " + name);
        if (i + 1 == args.size()) return fail(name + " needs a value");
        const std::string& value = args[++i];
        if (name == "--prefix") {
            o.prefix = value;
        } else if (name == "--rig-exe") {
            o.rigExe = value;
        } else if (name == "--wine64") {
            o.wine64 = value;
        } else if (name == "--ready-file") {
            o.readyFile = value;
        } else if (name == "--version") {
            o.watch.version = value;
        } else if (name == "--imei") {
            o.watch.imei = value;
        } else if (name == "--new-version") {
            o.watch.newVersion = value;
        } else if (name == "--after-restart") {
            const auto after = ParseAfterRestart(value);
            if (!after) return fail("--after-restart takes \"stay\" or \"rejoin MS1 MS2\"");
            o.watch.afterRestart = *after;
        } else if (name == "--download-com") {
            if (!ParseNumber(value, 0, kMaxCom, &o.watch.downloadCom)) return fail("bad --download-com " + value);
        } else if (name == "--download-delay") {
            if (!ParseNumber(value, 0, 600000, &o.watch.downloadDelayMs)) return fail("bad --download-delay " + value);
        } else if (name == "--control-port") {
            if (!ParseNumber(value, 0, 65535, &o.controlPort)) return fail("bad --control-port " + value);
        } else if (name == "--com") {
            if (!ParseNumber(value, kMinCom, kMaxCom, &o.com)) return fail("bad --com " + value);
        } else if (name == "--echo") {
            if (value != "on" && value != "off") return fail("--echo takes on or off");
            o.watch.echo = value == "on";
        } else if (name == "--on-reboot") {
            if (value != "stay" && value != "unplug") return fail("--on-reboot takes stay or unplug");
            o.watch.onReboot = value == "stay" ? OnReboot::Stay : OnReboot::Unplug;
        }
    }
    if (!o.help && o.plug && o.prefix.empty()) return fail("--prefix is required unless --no-plug");
    return o;
}

std::string UsageText() {
    return "usage: vwatch --prefix WINEPREFIX [--rig-exe PATH] [--wine64 PATH] [--control-port N]\n"
           "              [--ready-file FILE] [--com N] [--version TEXT] [--imei TEXT]\n"
           "              [--echo on|off] [--on-reboot stay|unplug] [--download-com N]\n"
           "              [--download-delay MS] [--new-version TEXT]\n"
           "              [--after-restart \"stay|rejoin MS1 MS2\"] [--no-plug]\n"
           "The virtual watch: a pty mapped into the Wine prefix as COMn that answers like the\n"
           "watch, scripted over a line-based TCP control channel on 127.0.0.1 (docs/virtual-watch.md).\n"
           "  --prefix        Wine prefix; only its dosdevices, registry and USB-disk folder are touched\n"
           "  --rig-exe       rig tool that registers the setup-API device (empty: link only)\n"
           "  --wine64        loader for the rig tool (default /usr/lib/wine/wine64)\n"
           "  --control-port  TCP port of the control channel (0, the default: any free port)\n"
           "  --ready-file    written with the control port once listening and plugged in\n"
           "  --com           COM number to plug in on (default 5)\n"
           "  --version       text after \"+CGMR: \" (default WK7_GSM1.2.3_BLE4_U_V5)\n"
           "  --imei          IMEI between the quotes of the AT+EGMR reply (default 861234567890123)\n"
           "  --echo          echo each command before the reply (default on)\n"
           "  --on-reboot     after AT+CFUN=1,1 or AT^PWROFF: stay plugged, or unplug and come back\n"
           "                  as the download port (default stay)\n"
           "  --download-com  COM number of the download port (default 0: the normal port's number)\n"
           "  --download-delay  ms from the reboot to the download port's arrival (default 1500)\n"
           "  --new-version   version after the watchdog restart (default: unchanged)\n"
           "  --after-restart once back in normal mode after the watchdog restart: stay (default), or\n"
           "                  \"rejoin MS1 MS2\": MS1 ms later leave the port, MS2 ms after that return\n"
           "  --no-plug       start unplugged; plug later with the control request \"plug\"\n";
}

}  // namespace tvsp::vwatch
