// The project's JavaScript rules, checked in the format pass of scripts/test.sh:
//   tests/web/node_modules/.bin/eslint --config tests/web/eslint.config.mjs
// run from the repository's root. Every file is an ES module but the scripts a
// page or an Emscripten program takes as they are (the Emscripten glue, the
// browser test's probe).
import js from '@eslint/js';
import globals from 'globals';

const rules = {
  ...js.configs.recommended.rules,
  'no-unused-vars': ['error', { args: 'none', caughtErrors: 'none' }],
  'no-var': 'error',
  'prefer-const': ['error', { destructuring: 'all' }],
  eqeqeq: ['error', 'always'],
  'no-implicit-coercion': ['error', { allow: ['!!'] }],
  'no-shadow': 'error',
  'no-eval': 'error',
  'no-new-func': 'error',
  'no-throw-literal': 'error',
  'no-empty': ['error', { allowEmptyCatch: true }],
};

export default [
  {
    ignores: ['**/node_modules/**', 'build*/**', '**/*.min.js'],
  },
  {
    // The pages and the playground's runtime: ES modules in a browser page or Worker.
    files: ['package/platform/portable/presenters/web/*.js', 'playground/runtime/*.js',
            'playground/page/**/*.js', 'playground/page/*.mjs', 'tests/web/playground_*.js'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'module',
      globals: { ...globals.browser, ...globals.worker },
    },
    rules,
  },
  {
    // Tools under node.
    files: ['playground/tools/*.mjs', 'playground/tests/*.mjs', 'site/tools/*.mjs'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'module',
      globals: { ...globals.node },
    },
    rules,
  },
  {
    // The site's classic scripts: a page's (offline.js) and the service worker.
    files: ['site/*.js'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'script',
      globals: { ...globals.browser, ...globals.serviceworker },
    },
    rules,
  },
  {
    // Browser tests, benchmarks and scripts under node, with functions they
    // hand to a page to run there.
    files: ['tests/web/*.mjs', 'bench/*.mjs', 'scripts/*.mjs'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'module',
      globals: { ...globals.node, ...globals.browser },
    },
    rules,
  },
  {
    // Classic scripts: an Emscripten program's --pre-js (its scope's names are
    // the program's) and the browser test's probe, injected before a page's own.
    files: ['package/platform/portable/presenters/web/page_pre.js', 'tests/web/page_probe.js'],
    languageOptions: {
      ecmaVersion: 2017,
      sourceType: 'script',
      globals: { ...globals.browser },
    },
    rules: { ...rules, 'no-var': 'off', 'prefer-const': 'off' },
  },
];
