#include "cli/PermissionHint.h"

#include "device/HidPlatform.h"

namespace cli {

std::string PermissionHint()
{
    std::string text = "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\n";
    switch (hidplat::ControllerAccessFacts().gate) {
    case hidplat::AccessFacts::Gate::kUdevRule:
        return text + "La regla de udev res/linux/70-tolvanex.rules da acceso al mando al usuario de la sesión.\n"
                      "El paquete .deb la instala; si no, instálela así (README.md, «Linux: using the controller\n"
                      "without root»):\n"
                      "  sudo install -m 644 res/linux/70-tolvanex.rules /etc/udev/rules.d/\n"
                      "  sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=hidraw\n"
                      "(o desenchufe el mando y vuelva a enchufarlo).\n";
    case hidplat::AccessFacts::Gate::kExclusiveHold:
        return text + "Windows no deja abrir el mando a este programa: puede que otro lo tenga abierto en exclusiva.\n"
                      "Cierre los programas que usen el mando y vuelva a intentarlo.\n";
    }
    return text;
}

}  // namespace cli
