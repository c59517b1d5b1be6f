// @ts-check
// The start-up script has already given this page queryModule, console,
// loadPlugin, createWindow and abort.
console.log('hello: page script running from ' + location.href);

// Errors in this page's script are reported silently instead of in a dialog.
console.showJsError = false;

// Plug-ins are created on first use; a missing one reads as undefined.
/** @template {keyof Ombrel.PluginMap} K @param {K} name @returns {Ombrel.PluginMap[K] | undefined} */
function tryModule(name) {
  try { return queryModule(name); } catch (e) { return undefined; }
}

var win = tryModule('window');
if (win) {
  win.title = 'Hello from Ombrel';
  win.show(true);
} else {
  console.log('hello: the window plug-in is not available in this build');
}
