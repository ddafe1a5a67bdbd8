// ESLint's recommended rules over the map page's scripts and the Node tools.
// The page's scripts are classic browser scripts that also load under Node
// (module.exports) for the unit tests; the tools are ES modules run by Node.
import js from '@eslint/js';
import globals from 'globals';

export default [
  js.configs.recommended,
  {
    files: ['app/web/js/**/*.js'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'script',
      globals: { ...globals.browser, ...globals.commonjs, L: 'readonly', topojson: 'readonly', qt: 'readonly', QWebChannel: 'readonly',
        // What the page's own scripts define for the ones loaded after them.
        TessoloText: 'readonly', TessoloAreaPanel: 'readonly', TessoloGeocoder: 'readonly', TessoloRefine: 'readonly', TessoloBasemap: 'readonly',
        TessoloColors: 'readonly', TessoloDensity: 'readonly', TessoloRoute: 'readonly', TessoloClusters: 'readonly' },
    },
  },
  {
    files: ['tools/**/*.mjs', 'tools/**/*.js'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'module', globals: { ...globals.node } },
  },
];
