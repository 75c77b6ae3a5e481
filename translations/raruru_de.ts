<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>CDHelper</name>
    <message>
        <source>Windows Installer Disc</source>
        <translation>Windows-Installations-CD</translation>
    </message>
    <message>
        <source>Install a Windows program from a disc</source>
        <translation>Ein Windows-Programm von einer CD installieren</translation>
    </message>
    <message>
        <source>Disc icon</source>
        <translation>CD-Symbol</translation>
    </message>
    <message>
        <source>This Windows installer disc holds %1.</source>
        <translation>Diese Windows-Installations-CD enthält %1.</translation>
    </message>
    <message>
        <source>This Windows installer disc was not recognised. You can still install the program on it, but express installation is not offered.</source>
        <translation>Diese Windows-Installations-CD wurde nicht erkannt. Sie können das Programm darauf trotzdem installieren, die Expressinstallation wird aber nicht angeboten.</translation>
    </message>
    <message>
        <source>Install &amp;with:</source>
        <translation>Installieren &amp;mit:</translation>
    </message>
    <message>
        <source>Application to install with</source>
        <translation>Anwendung für die Installation</translation>
    </message>
    <message>
        <source>The installed application the program is installed with</source>
        <translation>Die installierte Anwendung, mit der das Programm installiert wird</translation>
    </message>
    <message>
        <source>&amp;Remember my choice for later discs</source>
        <translation>&amp;Auswahl für künftige CDs merken</translation>
    </message>
    <message>
        <source>Remember my choice for later discs</source>
        <translation>Auswahl für künftige CDs merken</translation>
    </message>
    <message>
        <source>Install: later discs that are recognised are installed at once, without asking. Ignore: later discs are left alone and this helper stops.</source>
        <translation>Installieren: Künftige CDs, die erkannt werden, werden sofort und ohne Rückfrage installiert. Ignorieren: Künftige CDs bleiben unbeachtet, und dieses Hilfsprogramm beendet sich.</translation>
    </message>
    <message>
        <source>I&amp;gnore</source>
        <translation>I&amp;gnorieren</translation>
    </message>
    <message>
        <source>Ignore this disc</source>
        <translation>Diese CD ignorieren</translation>
    </message>
    <message>
        <source>Leave this disc alone</source>
        <translation>Mit dieser CD nichts tun</translation>
    </message>
    <message>
        <source>E&amp;xpress Install</source>
        <translation>E&amp;xpressinstallation</translation>
    </message>
    <message>
        <source>Express install</source>
        <translation>Expressinstallation</translation>
    </message>
    <message>
        <source>Install with Quillmont&apos;s express installation, which asks no further questions</source>
        <translation>Mit der Expressinstallation von Quillmont installieren, die keine weiteren Fragen stellt</translation>
    </message>
    <message>
        <source>&amp;Install</source>
        <translation>&amp;Installieren</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Installieren</translation>
    </message>
    <message>
        <source>Install the program with the application chosen above</source>
        <translation>Das Programm mit der oben gewählten Anwendung installieren</translation>
    </message>
    <message>
        <source>Disc: %1</source>
        <translation>CD: %1</translation>
    </message>
</context>
<context>
    <name>raruru-cdtools</name>
    <message>
        <source>usage: raruru-cdtools COMMAND [ARGUMENTS]

  install                      register the helper as a login item, keep one
                               helper running and start it if none runs
  remove                       remove the helper&apos;s login item and ask every
                               running helper to quit
  is-latest-version            exit 0 when the registered helper is at least as
                               new as the one this host carries, else 1
  is-valid-installer-volume PATH
                               exit 0 when PATH looks like a Windows installer
                               volume, else 1
  update-preferences VALUE APP-ID [SCHEME]
                               store what the helper does with installer discs
                               (VALUE 1: install with APP-ID, 2: ignore and turn
                               the helper off) in every host&apos;s preferences;
                               exit 1 when one could not be stored

Exit status 2 means the command line was not understood.
</source>
        <translation>Aufruf: raruru-cdtools BEFEHL [ARGUMENTE]

  install                      das Hilfsprogramm als Autostart-Eintrag anmelden,
                               genau ein Hilfsprogramm laufen lassen und es
                               starten, wenn keines läuft
  remove                       den Autostart-Eintrag des Hilfsprogramms
                               entfernen und jedes laufende Hilfsprogramm
                               bitten, sich zu beenden
  is-latest-version            mit 0 enden, wenn das angemeldete Hilfsprogramm
                               mindestens so neu ist wie das, welches dieser
                               Host mitbringt, sonst mit 1
  is-valid-installer-volume PFAD
                               mit 0 enden, wenn PFAD wie ein Windows-
                               Installationsdatenträger aussieht, sonst mit 1
  update-preferences WERT APP-ID [SCHEMA]
                               in den Einstellungen jedes Hosts speichern, was
                               das Hilfsprogramm mit Installations-CDs tut
                               (WERT 1: mit APP-ID installieren, 2: ignorieren
                               und das Hilfsprogramm ausschalten); mit 1 enden,
                               wenn eine davon nicht gespeichert werden konnte

Exit-Status 2 bedeutet, dass die Befehlszeile nicht verstanden wurde.
</translation>
    </message>
    <message>
        <source>a command is needed</source>
        <translation>ein Befehl fehlt</translation>
    </message>
    <message>
        <source>is-valid-installer-volume takes one path</source>
        <translation>is-valid-installer-volume erwartet genau einen Pfad</translation>
    </message>
    <message>
        <source>install and remove take no arguments</source>
        <translation>install und remove erwarten keine Argumente</translation>
    </message>
    <message>
        <source>this program must run from a host application bundle whose resources hold &quot;%1&quot;; nothing was installed</source>
        <translation>dieses Programm muss aus dem Paket einer Host-Anwendung heraus laufen, deren Ressourcen „%1“ enthalten; es wurde nichts installiert</translation>
    </message>
    <message>
        <source>is-latest-version takes no arguments</source>
        <translation>is-latest-version erwartet keine Argumente</translation>
    </message>
    <message>
        <source>update-preferences takes a number, an application identifier and maybe a scheme</source>
        <translation>update-preferences erwartet eine Zahl, eine Anwendungskennung und wahlweise ein Schema</translation>
    </message>
    <message>
        <source>unknown command</source>
        <translation>unbekannter Befehl</translation>
    </message>
</context>
</TS>
