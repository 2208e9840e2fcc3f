// The web pages' --pre-js: hands the program's own Module, file system, memory
// and run dependencies to the page's scripts (page_scripts.js, page_emscripten.js
// bundled), which the page loads before the program. Without them (node runs
// the test suites) there is no page: the program runs headless.
/* global Module, FS, HEAPU8, addRunDependency, removeRunDependency, tavloPageScripts */
if (typeof tavloPageScripts !== 'undefined' && typeof document !== 'undefined') {
  tavloPageScripts.start({
    Module: Module,
    // The file system is made after this script runs: asked for when needed.
    fileSystem: function () { return FS; },
    buffer: function () { return HEAPU8.buffer; },
    addRunDependency: addRunDependency,
    removeRunDependency: removeRunDependency
  });
}
