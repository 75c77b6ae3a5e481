<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>CDHelper</name>
    <message>
        <source>Windows Installer Disc</source>
        <translation>Disque d’installation Windows</translation>
    </message>
    <message>
        <source>Install a Windows program from a disc</source>
        <translation>Installer un programme Windows depuis un disque</translation>
    </message>
    <message>
        <source>Disc icon</source>
        <translation>Icône du disque</translation>
    </message>
    <message>
        <source>This Windows installer disc holds %1.</source>
        <translation>Ce disque d’installation Windows contient %1.</translation>
    </message>
    <message>
        <source>This Windows installer disc was not recognised. You can still install the program on it, but express installation is not offered.</source>
        <translation>Ce disque d’installation Windows n’a pas été reconnu. Vous pouvez tout de même installer le programme qu’il contient, mais l’installation express n’est pas proposée.</translation>
    </message>
    <message>
        <source>Install &amp;with:</source>
        <translation>Installer a&amp;vec&#xa0;:</translation>
    </message>
    <message>
        <source>Application to install with</source>
        <translation>Application utilisée pour l’installation</translation>
    </message>
    <message>
        <source>The installed application the program is installed with</source>
        <translation>L’application installée avec laquelle le programme est installé</translation>
    </message>
    <message>
        <source>&amp;Remember my choice for later discs</source>
        <translation>&amp;Mémoriser mon choix pour les prochains disques</translation>
    </message>
    <message>
        <source>Remember my choice for later discs</source>
        <translation>Mémoriser mon choix pour les prochains disques</translation>
    </message>
    <message>
        <source>Install: later discs that are recognised are installed at once, without asking. Ignore: later discs are left alone and this helper stops.</source>
        <translation>Installer&#xa0;: les prochains disques reconnus sont installés aussitôt, sans rien demander. Ignorer&#xa0;: les prochains disques sont laissés de côté et cet utilitaire s’arrête.</translation>
    </message>
    <message>
        <source>I&amp;gnore</source>
        <translation>I&amp;gnorer</translation>
    </message>
    <message>
        <source>Ignore this disc</source>
        <translation>Ignorer ce disque</translation>
    </message>
    <message>
        <source>Leave this disc alone</source>
        <translation>Ne rien faire de ce disque</translation>
    </message>
    <message>
        <source>E&amp;xpress Install</source>
        <translation>Installation e&amp;xpress</translation>
    </message>
    <message>
        <source>Express install</source>
        <translation>Installation express</translation>
    </message>
    <message>
        <source>Install with Quillmont&apos;s express installation, which asks no further questions</source>
        <translation>Installer avec l’installation express de Quillmont, qui ne pose aucune autre question</translation>
    </message>
    <message>
        <source>&amp;Install</source>
        <translation>&amp;Installer</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Installer</translation>
    </message>
    <message>
        <source>Install the program with the application chosen above</source>
        <translation>Installer le programme avec l’application choisie ci-dessus</translation>
    </message>
    <message>
        <source>Disc: %1</source>
        <translation>Disque : %1</translation>
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
        <translation>Utilisation : raruru-cdtools COMMANDE [ARGUMENTS]

  install                      inscrire l&apos;utilitaire au démarrage de la session,
                               garder un seul utilitaire en marche et le lancer
                               si aucun ne tourne
  remove                       retirer l&apos;utilitaire du démarrage de la session
                               et demander à chaque utilitaire en marche de
                               se fermer
  is-latest-version            sortir avec 0 si l&apos;utilitaire inscrit est au
                               moins aussi récent que celui de cet hôte,
                               sinon avec 1
  is-valid-installer-volume CHEMIN
                               sortir avec 0 si CHEMIN ressemble à un volume
                               d&apos;installation Windows, sinon avec 1
  update-preferences VALEUR ID-APP [SCHÉMA]
                               enregistrer dans les préférences de chaque hôte
                               ce que fait l&apos;utilitaire des disques
                               d&apos;installation (VALEUR 1 : installer avec
                               ID-APP, 2 : ignorer et désactiver l&apos;utilitaire) ;
                               sortir avec 1 si l&apos;une d&apos;elles n&apos;a pas pu être
                               enregistrée

Le code de sortie 2 signifie que la ligne de commande n&apos;a pas été comprise.
</translation>
    </message>
    <message>
        <source>a command is needed</source>
        <translation>il manque une commande</translation>
    </message>
    <message>
        <source>is-valid-installer-volume takes one path</source>
        <translation>is-valid-installer-volume attend un chemin</translation>
    </message>
    <message>
        <source>install and remove take no arguments</source>
        <translation>install et remove n&apos;acceptent aucun argument</translation>
    </message>
    <message>
        <source>this program must run from a host application bundle whose resources hold &quot;%1&quot;; nothing was installed</source>
        <translation>ce programme doit être lancé depuis le paquet d&apos;une application hôte dont les ressources contiennent « %1 » ; rien n&apos;a été installé</translation>
    </message>
    <message>
        <source>is-latest-version takes no arguments</source>
        <translation>is-latest-version n&apos;accepte aucun argument</translation>
    </message>
    <message>
        <source>update-preferences takes a number, an application identifier and maybe a scheme</source>
        <translation>update-preferences attend un nombre, un identifiant d&apos;application et éventuellement un schéma</translation>
    </message>
    <message>
        <source>unknown command</source>
        <translation>commande inconnue</translation>
    </message>
</context>
</TS>
