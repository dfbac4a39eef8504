<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>talvo::ContentView</name>
    <message>
        <source>Talvo Backup Agent Installer</source>
        <translation>Installationsprogramm für den Talvo Backup Agent</translation>
    </message>
</context>
<context>
    <name>talvo::ErrorView</name>
    <message>
        <source>Installation Failed. Please contact your support for assistance.</source>
        <translation>Installation fehlgeschlagen. Bitte wenden Sie sich an Ihren Support.</translation>
    </message>
</context>
<context>
    <name>talvo::FullDiskAccessView</name>
    <message>
        <source>Full Disk Access Required</source>
        <translation>Festplattenvollzugriff erforderlich</translation>
    </message>
    <message>
        <source>To ensure this app works properly, please grant Full Disk Access.

Open System Settings, go to:

Privacy &amp; Security → Full Disk Access

Then restart the app.</source>
        <translation>Damit diese App richtig funktioniert, gewähren Sie ihr bitte Festplattenvollzugriff.

Öffnen Sie die Systemeinstellungen und gehen Sie zu:

Datenschutz &amp; Sicherheit → Festplattenvollzugriff

Starten Sie die App danach neu.</translation>
    </message>
    <message>
        <source>Open System Settings</source>
        <translation>Systemeinstellungen öffnen</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>talvo::InstallerView</name>
    <message>
        <source>Talvo Backup Agent Encryption Setup</source>
        <translation>Verschlüsselung des Talvo Backup Agent einrichten</translation>
    </message>
    <message>
        <source>You may set your own encryption passphrase. All backup data is always encrypted during transfer and storage, but if you provide a passphrase, only you will have access to it.</source>
        <translation>Sie können eine eigene Passphrase für die Verschlüsselung festlegen. Alle Backup-Daten werden bei der Übertragung und Speicherung immer verschlüsselt; mit einer eigenen Passphrase haben jedoch nur Sie Zugriff darauf.</translation>
    </message>
    <message>
        <source>Warning: If you choose to set your own passphrase, it cannot be changed or recovered once the backup begins. If the passphrase is lost, you will not be able to recover your backup data.</source>
        <translation>Warnung: Eine eigene Passphrase kann nach Beginn des Backups weder geändert noch wiederhergestellt werden. Geht die Passphrase verloren, können Sie Ihre Backup-Daten nicht wiederherstellen.</translation>
    </message>
    <message>
        <source>I want to use a Talvo-managed encryption passphrase</source>
        <translation>Ich möchte eine von Talvo verwaltete Passphrase verwenden</translation>
    </message>
    <message>
        <source>I want to provide my own encryption passphrase</source>
        <translation>Ich möchte eine eigene Passphrase festlegen</translation>
    </message>
    <message>
        <source>Passphrase</source>
        <translation>Passphrase</translation>
    </message>
    <message>
        <source>Confirm Passphrase</source>
        <translation>Passphrase bestätigen</translation>
    </message>
    <message>
        <source>A passphrase can be at most %1 characters long.</source>
        <translation>Eine Passphrase darf höchstens %1 Zeichen lang sein.</translation>
    </message>
    <message>
        <source>A passphrase cannot contain a null character (U+0000).</source>
        <translation>Eine Passphrase darf kein Nullzeichen (U+0000) enthalten.</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Installieren</translation>
    </message>
</context>
<context>
    <name>talvo::InstallingView</name>
    <message>
        <source>Installing...</source>
        <translation>Installation läuft …</translation>
    </message>
    <message>
        <source>Please wait while we install the Talvo Backup Agent...</source>
        <translation>Bitte warten Sie, während der Talvo Backup Agent installiert wird …</translation>
    </message>
    <message>
        <source>You may see several access granting request pop-ups during the installation.</source>
        <translation>Während der Installation erscheinen möglicherweise mehrere Anfragen nach Zugriffsrechten.</translation>
    </message>
</context>
<context>
    <name>talvo::MainWindow</name>
    <message>
        <source>About AgentInstaller</source>
        <translation>Über AgentInstaller</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Talvo Backup Agent Installer
Version %1</source>
        <translation>Installationsprogramm für den Talvo Backup Agent
Version %1</translation>
    </message>
</context>
<context>
    <name>talvo::SuccessView</name>
    <message>
        <source>Installation Successful!</source>
        <translation>Installation erfolgreich!</translation>
    </message>
    <message>
        <source>A Full Disk Access permission pop-up will appear shortly.

Please follow the instructions to grant access.

Once done, you can safely close this window.</source>
        <translation>Gleich erscheint eine Anfrage nach Festplattenvollzugriff.

Bitte folgen Sie den Anweisungen, um den Zugriff zu gewähren.

Danach können Sie dieses Fenster schließen.</translation>
    </message>
    <message>
        <source>You can safely close this window now!</source>
        <translation>Sie können dieses Fenster jetzt schließen!</translation>
    </message>
</context>
</TS>