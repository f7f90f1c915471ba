// Before the program starts: the page's notice for a browser that cannot
// reach the controller, said once.
var Module = typeof Module !== 'undefined' ? Module : {};

(function() {
  if (typeof document === 'undefined') return;
  var notice = function(text) {
    var p = document.getElementById('aviso');
    if (!p) return;
    p.textContent = text;
    p.hidden = false;
  };
  var start = function() {
    if (!('hid' in navigator)) {
      notice(window.isSecureContext === false
        ? 'Para actualizar el mando, esta página debe abrirse por HTTPS (o desde localhost) en Chrome, Edge u Opera. ' +
          'Aquí puede abrir un archivo HEX y ver su checksum.'
        : 'Este navegador no puede comunicarse con el mando (le falta WebHID). Para actualizarlo, use Chrome, Edge u ' +
          'Opera en Windows, macOS, Linux o ChromeOS. Aquí puede abrir un archivo HEX y ver su checksum.');
    }
  };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
  Module.onAbort = function() {
    notice('El actualizador se ha detenido por un error. Recargue la página para empezar de nuevo.');
  };
})();
