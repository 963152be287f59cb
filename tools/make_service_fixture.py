#!/usr/bin/env python3
"""Writes tests/data/services_win10.json: the Win32_Service and Win32_Process records of a
Windows 10 machine as the management-instrumentation fixture serves them.

Deterministic (fixed seed); the output is committed. Run again only to change the data:
    python3 tools/make_service_fixture.py
What it holds: about 200 services; about 60 running inside about 20 svchost host processes;
stopped services whose path names svchost; running services whose path spells SVCHOST.EXE in
capitals; one listed service without a description; one host process that has already ended
(no Win32_Process record).
"""
import json
import os
import random

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data",
                   "services_win10.json")
SYS32 = "C:\\WINDOWS\\system32\\"
SVCHOST = "C:\\WINDOWS\\system32\\svchost.exe -k "
LOCAL_SYSTEM = "LocalSystem"
LOCAL_SERVICE = "NT AUTHORITY\\LocalService"
NETWORK_SERVICE = "NT AUTHORITY\\NetworkService"

# Running, hosted by svchost: host group -> [(name, display name, account)]
HOSTS = [
    ("DcomLaunch -p", LOCAL_SYSTEM, [
        ("DcomLaunch", "DCOM Server Process Launcher"), ("PlugPlay", "Plug and Play"),
        ("Power", "Power"), ("BrokerInfrastructure", "Background Tasks Infrastructure Service"),
        ("SystemEventsBroker", "System Events Broker")]),
    ("RPCSS -p", NETWORK_SERVICE, [
        ("RpcSs", "Remote Procedure Call (RPC)"), ("RpcEptMapper", "RPC Endpoint Mapper")]),
    ("LocalServiceNetworkRestricted -p", LOCAL_SERVICE, [
        ("EventLog", "Windows Event Log"), ("Dhcp", "DHCP Client"),
        ("lmhosts", "TCP/IP NetBIOS Helper")]),
    ("netsvcs -p", LOCAL_SYSTEM, [
        ("Schedule", "Task Scheduler"), ("gpsvc", "Group Policy Client"),
        ("ProfSvc", "User Profile Service"), ("Themes", "Themes"),
        ("SENS", "System Event Notification Service"),
        ("ShellHWDetection", "Shell Hardware Detection"),
        ("Winmgmt", "Windows Management Instrumentation"), ("iphlpsvc", "IP Helper"),
        ("UserManager", "User Manager"), ("LanmanServer", "Server"),
        ("Appinfo", "Application Information"), ("CertPropSvc", "Certificate Propagation")]),
    ("LocalService -p", LOCAL_SERVICE, [
        ("EventSystem", "COM+ Event System"), ("FontCache", "Windows Font Cache Service"),
        ("netprofm", "Network List Service"), ("W32Time", "Windows Time")]),
    ("NetworkService -p", NETWORK_SERVICE, [
        ("Dnscache", "DNS Client"), ("CryptSvc", "Cryptographic Services"),
        ("LanmanWorkstation", "Workstation"), ("NlaSvc", "Network Location Awareness")]),
    ("LocalSystemNetworkRestricted -p", LOCAL_SYSTEM, [
        ("AudioEndpointBuilder", "Windows Audio Endpoint Builder"),
        ("PcaSvc", "Program Compatibility Assistant Service"), ("SysMain", "SysMain"),
        ("TrkWks", "Distributed Link Tracking Client")]),
    ("LocalServiceNetworkRestricted -p", LOCAL_SERVICE, [
        ("Audiosrv", "Windows Audio")]),
    ("LocalServiceNoNetworkFirewall -p", LOCAL_SERVICE, [
        ("BFE", "Base Filtering Engine"), ("mpssvc", "Windows Defender Firewall")]),
    ("LocalServiceNoNetwork -p", LOCAL_SERVICE, [
        ("DPS", "Diagnostic Policy Service")]),
    ("UnistackSvcGroup", LOCAL_SYSTEM, [
        ("CDPUserSvc_4c6b2", "Connected Devices Platform User Service_4c6b2"),
        ("OneSyncSvc_4c6b2", "Sync Host_4c6b2"),
        ("PimIndexMaintenanceSvc_4c6b2", "Contact Data_4c6b2"),
        ("UnistoreSvc_4c6b2", "User Data Storage_4c6b2"),
        ("UserDataSvc_4c6b2", "User Data Access_4c6b2")]),
    ("appmodel -p", LOCAL_SYSTEM, [
        ("StateRepository", "State Repository Service"), ("camsvc", "Capability Access Manager Service")]),
    ("wsappx -p", LOCAL_SYSTEM, [
        ("AppXSvc", "AppX Deployment Service (AppXSVC)"),
        ("ClipSVC", "Client License Service (ClipSVC)")]),
    ("NetworkService -p", NETWORK_SERVICE, [
        ("DoSvc", "Delivery Optimization")]),
    ("utcsvc -p", LOCAL_SYSTEM, [
        ("DiagTrack", "Connected User Experiences and Telemetry")]),
    ("LocalService -p", LOCAL_SERVICE, [
        ("CDPSvc", "Connected Devices Platform Service"), ("NcbService", "Network Connection Broker"),
        ("TimeBrokerSvc", "Time Broker")]),
    ("netsvcs -p", LOCAL_SYSTEM, [
        ("UsoSvc", "Update Orchestrator Service"), ("wuauserv", "Windows Update"),
        ("BITS", "Background Intelligent Transfer Service")]),
    ("LocalSystemNetworkRestricted -p", LOCAL_SYSTEM, [
        ("TextInputManagementService", "Text Input Management Service"),
        ("DispBrokerDesktopSvc", "Display Policy Service")]),
    ("LocalServiceNetworkRestricted -p", LOCAL_SERVICE, [
        ("WdiServiceHost", "Diagnostic Service Host"), ("Wcmsvc", "Windows Connection Manager")]),
    ("UnistackSvcGroup", LOCAL_SYSTEM, [
        ("WpnUserService_4c6b2", "Windows Push Notifications User Service_4c6b2"),
        ("cbdhsvc_4c6b2", "Clipboard User Service_4c6b2")]),
]
NO_DESCRIPTION = "TextInputManagementService"  # listed, running, no description
ENDED_HOST_SERVICE = "DiagTrack"  # its host process has already ended

# Stopped, path names svchost (process id 0)
STOPPED_SVCHOST = [
    ("AJRouter", "AllJoyn Router Service", "LocalServiceNetworkRestricted -p"),
    ("ALG", "Application Layer Gateway Service", None),
    ("AppMgmt", "Application Management", "netsvcs -p"),
    ("AppReadiness", "App Readiness", "AppReadiness -p"),
    ("autotimesvc", "Cellular Time", "autoTimeSvc"),
    ("AxInstSV", "ActiveX Installer (AxInstSV)", "AxInstSVGroup"),
    ("BDESVC", "BitLocker Drive Encryption Service", "netsvcs -p"),
    ("bthserv", "Bluetooth Support Service", "LocalService -p"),
    ("BTAGService", "Bluetooth Audio Gateway Service", "LocalServiceNetworkRestricted"),
    ("CscService", "Offline Files", "LocalSystemNetworkRestricted -p"),
    ("defragsvc", "Optimize drives", "defragsvc"),
    ("DeviceAssociationService", "Device Association Service", "LocalSystemNetworkRestricted -p"),
    ("DeviceInstall", "Device Install Service", "DcomLaunch -p"),
    ("DevQueryBroker", "DevQuery Background Discovery Broker", "LocalSystemNetworkRestricted -p"),
    ("diagsvc", "Diagnostic Execution Service", "diagnostics"),
    ("DmEnrollmentSvc", "Device Management Enrollment Service", "netsvcs -p"),
    ("dmwappushservice", "Device Management Wireless Application Protocol (WAP) Push message Routing Service", "netsvcs -p"),
    ("DsmSvc", "Device Setup Manager", "netsvcs -p"),
    ("DsSvc", "Data Sharing Service", "LocalSystemNetworkRestricted -p"),
    ("Eaphost", "Extensible Authentication Protocol", "netsvcs -p"),
    ("embeddedmode", "Embedded Mode", "LocalSystemNetworkRestricted -p"),
    ("EntAppSvc", "Enterprise App Management Service", "appmodel -p"),
    ("fdPHost", "Function Discovery Provider Host", "LocalService -p"),
    ("FDResPub", "Function Discovery Resource Publication", "LocalServiceAndNoImpersonation -p"),
    ("fhsvc", "File History Service", "LocalSystemNetworkRestricted -p"),
    ("FrameServer", "Windows Camera Frame Server", "Camera"),
    ("hidserv", "Human Interface Device Service", "LocalSystemNetworkRestricted -p"),
    ("HvHost", "HV Host Service", "LocalSystemNetworkRestricted -p"),
    ("icssvc", "Windows Mobile Hotspot Service", "LocalServiceNetworkRestricted -p"),
    ("InstallService", "Microsoft Store Install Service", "netsvcs -p"),
    ("IpxlatCfgSvc", "IP Translation Configuration Service", "LocalSystemNetworkRestricted -p"),
    ("LicenseManager", "Windows License Manager Service", "LocalService -p"),
    ("lltdsvc", "Link-Layer Topology Discovery Mapper", "LocalService -p"),
    ("MapsBroker", "Downloaded Maps Manager", "NetworkService -p"),
    ("NaturalAuthentication", "Natural Authentication", "netsvcs -p"),
    ("NcaSvc", "Network Connectivity Assistant", "NetSvcs"),
    ("NcdAutoSetup", "Network Connected Devices Auto-Setup", "LocalServiceNoNetwork -p"),
    ("Netman", "Network Connections", "LocalSystemNetworkRestricted -p"),
    ("PhoneSvc", "Phone Service", "LocalService -p"),
    ("CDPUserSvc", "Connected Devices Platform User Service", "UnistackSvcGroup"),
    ("OneSyncSvc", "Sync Host", "UnistackSvcGroup"),
    ("WpnUserService", "Windows Push Notifications User Service", "UnistackSvcGroup"),
]

# Running services whose path spells the host only in capitals: not listed.
CAPITAL_SVCHOST = [
    ("SstpSvc", "Secure Socket Tunneling Protocol Service", "C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE -k LocalService -p"),
    ("WinRM", "Windows Remote Management (WS-Management)", "C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE -k NetworkService -p"),
    ("Wecsvc", "Windows Event Collector", "C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE -k NetworkService -p"),
]

# Services with their own program: (name, display name, exe, running)
OWN_PROCESS = [
    ("SamSs", "Security Accounts Manager", "lsass.exe", True),
    ("KeyIso", "CNG Key Isolation", "lsass.exe", True),
    ("VaultSvc", "Credential Manager", "lsass.exe", True),
    ("Netlogon", "Netlogon", "lsass.exe", False),
    ("EFS", "Encrypting File System (EFS)", "lsass.exe", False),
    ("Spooler", "Print Spooler", "spoolsv.exe", True),
    ("SecurityHealthService", "Security Center Health Service", "SecurityHealthService.exe", True),
    ("WSearch", "Windows Search", "SearchIndexer.exe /Embedding", True),
    ("sppsvc", "Software Protection", "sppsvc.exe", False),
    ("TrustedInstaller", "Windows Modules Installer", "servicing\\TrustedInstaller.exe", False),
    ("msiserver", "Windows Installer", "msiexec.exe /V", False),
    ("VSS", "Volume Shadow Copy", "vssvc.exe", False),
    ("swprv", "Microsoft Software Shadow Copy Provider", "svchost.exe -k swprv", False),
    ("vds", "Virtual Disk", "vds.exe", False),
    ("wbengine", "Block Level Backup Engine Service", "wbengine.exe", False),
    ("WMPNetworkSvc", "Windows Media Player Network Sharing Service", "..\\Program Files\\Windows Media Player\\wmpnetwk.exe", False),
    ("AppVClient", "Microsoft App-V Client", "AppVClient.exe", False),
    ("COMSysApp", "COM+ System Application", "dllhost.exe /Processid:{02D4B3F1-FD88-11D1-960D-00805FC79235}", False),
    ("MSDTC", "Distributed Transaction Coordinator", "msdtc.exe", False),
    ("PerfHost", "Performance Counter DLL Host", "SysWow64\\perfhost.exe", False),
    ("RpcLocator", "Remote Procedure Call (RPC) Locator", "locator.exe", False),
    ("SNMPTRAP", "SNMP Trap", "snmptrap.exe", False),
    ("UI0Detect", "Interactive Services Detection", "UI0Detect.exe", False),
    ("vmicguestinterface", "Hyper-V Guest Service Interface", "vmicsvc.exe -k LocalSystemNetworkRestricted", False),
    ("WdNisSvc", "Network Inspection Service", "NisSrv.exe", False),
    ("wmiApSrv", "WMI Performance Adapter", "wbem\\WmiApSrv.exe", False),
    ("SensorDataService", "Sensor Data Service", "SensorDataService.exe", False),
    ("AppIDSvc", "Application Identity", "svchost.exe -k LocalServiceNetworkRestricted -p", False),
    ("Fax", "Fax", "fxssvc.exe", False),
    ("BgUpdateSvc", "Background Updater", "C:\\Program Files\\Updater\\updater.exe", False),
    ("ssh-agent", "OpenSSH Authentication Agent", "OpenSSH\\ssh-agent.exe", False),
    ("BrowserUpdateSvc", "Browser Update Service", "C:\\Program Files (x86)\\Browser\\Update\\update.exe /svc", False),
]

# More stopped svchost-hosted services, to reach a machine-sized list.
MORE_STOPPED = [
    ("PeerDistSvc", "BranchCache"), ("PNRPsvc", "Peer Name Resolution Protocol"),
    ("p2psvc", "Peer Networking Grouping"), ("p2pimsvc", "Peer Networking Identity Manager"),
    ("PrintNotify", "Printer Extensions and Notifications"), ("QWAVE", "Quality Windows Audio Video Experience"),
    ("RasAuto", "Remote Access Auto Connection Manager"), ("RasMan", "Remote Access Connection Manager"),
    ("RemoteAccess", "Routing and Remote Access"), ("RemoteRegistry", "Remote Registry"),
    ("RetailDemo", "Retail Demo Service"), ("RmSvc", "Radio Management Service"),
    ("SCardSvr", "Smart Card"), ("ScDeviceEnum", "Smart Card Device Enumeration Service"),
    ("SCPolicySvc", "Smart Card Removal Policy"), ("SEMgrSvc", "Payments and NFC/SE Manager"),
    ("SessionEnv", "Remote Desktop Configuration"), ("SharedAccess", "Internet Connection Sharing (ICS)"),
    ("shpamsvc", "Shared PC Account Manager"), ("smphost", "Microsoft Storage Spaces SMP"),
    ("SmsRouter", "Microsoft Windows SMS Router Service."), ("SSDPSRV", "SSDP Discovery"),
    ("StiSvc", "Windows Image Acquisition (WIA)"), ("svsvc", "Spot Verifier"),
    ("TapiSrv", "Telephony"), ("TermService", "Remote Desktop Services"),
    ("TieringEngineService", "Storage Tiers Management"), ("tzautoupdate", "Auto Time Zone Updater"),
    ("upnphost", "UPnP Device Host"), ("UmRdpService", "Remote Desktop Services UserMode Port Redirector"),
    ("WaaSMedicSvc", "Windows Update Medic Service"), ("WalletService", "WalletService"),
    ("wcncsvc", "Windows Connect Now - Config Registrar"), ("WebClient", "WebClient"),
    ("WEPHOSTSVC", "Windows Encryption Provider Host Service"), ("wercplsupport", "Problem Reports Control Panel Support"),
    ("WerSvc", "Windows Error Reporting Service"), ("WFDSConMgrSvc", "Wi-Fi Direct Services Connection Manager Service"),
    ("WiaRpc", "Still Image Acquisition Events"), ("wisvc", "Windows Insider Service"),
    ("wlidsvc", "Account Sign-in Assistant"), ("wlpasvc", "Local Profile Assistant Service"),
    ("WManSvc", "Windows Management Service"), ("wmiApSrv2", "WMI Performance Adapter Helper"),
    ("WPDBusEnum", "Portable Device Enumerator Service"), ("WpcMonSvc", "Parental Controls"),
    ("workfolderssvc", "Work Folders"), ("WwanSvc", "WWAN AutoConfig"),
    ("XblAuthManager", "Xbox Live Auth Manager"), ("XblGameSave", "Xbox Live Game Save"),
    ("XboxGipSvc", "Xbox Accessory Management Service"), ("XboxNetApiSvc", "Xbox Live Networking Service"),
    ("lfsvc", "Geolocation Service"), ("MSiSCSI", "Microsoft iSCSI Initiator Service"),
    ("NetTcpPortSharing", "Net.Tcp Port Sharing Service"), ("Wlansvc", "WLAN AutoConfig"),
    ("dot3svc", "Wired AutoConfig"), ("KtmRm", "KtmRm for Distributed Transaction Coordinator"),
    ("WarpJITSvc", "WarpJITSvc"), ("vmickvpexchange", "Hyper-V Data Exchange Service"),
    ("vmicheartbeat", "Hyper-V Heartbeat Service"), ("vmicshutdown", "Hyper-V Guest Shutdown Service"),
    ("vmictimesync", "Hyper-V Time Synchronization Service"), ("vmicvss", "Hyper-V Volume Shadow Copy Requestor"),
    ("vmicrdv", "Hyper-V Remote Desktop Virtualization Service"), ("vmicvmsession", "Hyper-V PowerShell Direct Service"),
    ("SgrmBroker", "System Guard Runtime Monitor Broker"), ("perceptionsimulation", "Windows Perception Simulation Service"),
]


def describe(display):
    return "Provides the " + display + " for the system. If this service is stopped, the features " \
        "that depend on it will not work."


def service(name, display, path, pid, state, start_mode, account, shared, description=True):
    running = state == "Running"
    return {
        "AcceptPause": False,
        "AcceptStop": running,
        "Caption": display,
        "Description": describe(display) if description else None,
        "DesktopInteract": False,
        "DisplayName": display,
        "ErrorControl": "Normal",
        "ExitCode": 0 if running else 1077,
        "Name": name,
        "PathName": path,
        "ProcessId": pid,
        "ServiceSpecificExitCode": 0,
        "ServiceType": "Share Process" if shared else "Own Process",
        "Started": running,
        "StartMode": start_mode,
        "StartName": account,
        "State": state,
        "Status": "OK",
        "TagId": 0,
        "WaitHint": 0,
    }


def main():
    rnd = random.Random(20161101)
    used_pids = {0, 4}
    def new_pid():
        while True:
            p = rnd.randrange(100, 16000) // 4 * 4
            if p not in used_pids:
                used_pids.add(p)
                return p

    services, processes = [], []
    def add_process(pid, name, command):
        ws = rnd.randrange(2, 60) * 1048576 + rnd.randrange(0, 1048576) // 4096 * 4096
        processes.append({"Name": name, "ProcessId": pid, "ExecutablePath": SYS32 + name,
                          "CommandLine": command, "WorkingSetSize": str(ws)})

    processes.append({"Name": "System Idle Process", "ProcessId": 0, "ExecutablePath": None,
                      "CommandLine": None, "WorkingSetSize": "8192"})
    processes.append({"Name": "System", "ProcessId": 4, "ExecutablePath": None,
                      "CommandLine": None, "WorkingSetSize": "155648"})

    for group, account, members in HOSTS:
        pid = new_pid()
        path = SVCHOST + group
        ended = any(n == ENDED_HOST_SERVICE for n, _ in members)
        if not ended:
            add_process(pid, "svchost.exe", path)
        for name, display in members:
            services.append(service(name, display, path, pid, "Running", "Auto", account,
                                    len(members) > 1, description=(name != NO_DESCRIPTION)))
    for name, display, group in STOPPED_SVCHOST:
        path = SVCHOST + group if group else SYS32 + "alg.exe"
        if group is None:
            services.append(service(name, display, path, 0, "Stopped", "Manual", LOCAL_SERVICE, False))
        else:
            services.append(service(name, display, path, 0, "Stopped", "Manual", LOCAL_SYSTEM, True))
    for name, display, path in CAPITAL_SVCHOST:
        pid = new_pid()
        add_process(pid, "svchost.exe", path)
        services.append(service(name, display, path, pid, "Running", "Manual", NETWORK_SERVICE, False))
    lsass = None
    for name, display, exe, running in OWN_PROCESS:
        path = exe if exe.startswith("C:\\") else SYS32 + exe
        pid = 0
        if running:
            if exe == "lsass.exe":
                if lsass is None:
                    lsass = new_pid()
                    add_process(lsass, "lsass.exe", path)
                pid = lsass
            else:
                pid = new_pid()
                add_process(pid, exe.split(" ")[0].split("\\")[-1], path)
        services.append(service(name, display, path, pid, "Running" if running else "Stopped",
                                "Auto" if running else "Manual", LOCAL_SYSTEM, exe == "lsass.exe"))
    for i, (name, display) in enumerate(MORE_STOPPED):
        mode = "Disabled" if i % 7 == 3 else "Manual"
        services.append(service(name, display, SVCHOST + "netsvcs -p" if i % 2 else
                                SVCHOST + "LocalServiceNetworkRestricted -p", 0, "Stopped", mode,
                                LOCAL_SYSTEM, True))
    for pname in ("csrss.exe", "wininit.exe", "services.exe", "winlogon.exe", "explorer.exe",
                  "dwm.exe", "ctfmon.exe", "RuntimeBroker.exe", "taskhostw.exe", "sihost.exe"):
        add_process(new_pid(), pname, SYS32 + pname)

    # The platform returns services ordered by name without regard to case.
    services.sort(key=lambda s: s["Name"].lower())
    processes.sort(key=lambda p: p["ProcessId"])
    with open(OUT, "w", newline="\n") as f:
        json.dump({"Win32_Service": services, "Win32_Process": processes}, f, indent=1)
        f.write("\n")


if __name__ == "__main__":
    main()
